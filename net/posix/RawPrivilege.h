#pragma once
// Where no helper process holds the raw-socket privilege for the program (a test run as
// root, an ordinary user; see system/EchoHelperChannel.h), the privilege is raised only around
// the one socket call that needs it.

// Raises the raw-socket privilege for its lifetime when asked to and when the process may
// hold it; otherwise does nothing, and the socket call then fails as it would have.
// Leaves errno as it found it, so the failure of the call it guards stays readable.
class TRawPrivilege {
  public:
    explicit TRawPrivilege(bool ARaise);
    ~TRawPrivilege();
    TRawPrivilege(const TRawPrivilege&) = delete;
    TRawPrivilege& operator=(const TRawPrivilege&) = delete;

  private:
    bool FRaised = false;
};

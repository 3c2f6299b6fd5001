#pragma once
// Raw sockets need a privilege that the process keeps permitted but not in force: it is
// raised only while a raw socket is opened, so nothing else the process does runs with it.

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

#pragma once
// The namespace lab of tests/netlab/lab.sh as a test process takes it. One lab at a time on
// the machine, whichever tree runs it: the process holds the lab's lock while it runs. Under
// CTest the setup fixture has built the lab once for the whole run; run alone, or after
// another run took that lab down, the process builds one of its own and takes it down again.
#include "tests/support/Process.h"

#include <string>

class TNetLab {
  public:
    explicit TNetLab(std::string AScript) : FScript(std::move(AScript)) {}
    TNetLab(const TNetLab&) = delete;
    TNetLab& operator=(const TNetLab&) = delete;
    ~TNetLab() { Release(); }

    // Waits up to a minute for the lock, then takes the lab that is up or builds one. Empty
    // when the lab is there; else what failed.
    std::string Acquire();
    // Takes down a lab of the process's own (its result; Code 0 when there was none) and
    // lets the lock go.
    TRunResult Release();
    // Whether Acquire built the lab, which Release then takes down.
    bool BuiltItsOwn() const { return FBuilt; }

    // lab.sh AVerb [AArgument], under the lock this process holds.
    TRunResult Run(const std::string& AVerb, const std::string& AArgument = {}) const;

  private:
    std::string FScript;
    int FLock = -1;
    bool FBuilt = false;
};

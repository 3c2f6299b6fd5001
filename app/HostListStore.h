#pragma once
// The window's host list on disk: read once as the window starts, from the place the
// program's services name, and written back there once as it goes.
#include "hosts/HostListFile.h"

#include <memory>

class THostList;

class THostListStore {
  public:
    explicit THostListStore(THostList& AList) : FList(AList) {}

    // Fills the list from APlace, where Save writes it back. Raises as THostListFile::Load.
    void Load(THostListPlace APlace);
    // Writes the list back where Load read it (even after a failed load, which the file then
    // guards); nothing before Load, or for an empty list. Raises as THostListFile::Save.
    void Save();

  private:
    THostList& FList;
    std::unique_ptr<THostListFile> FFile;
};

#include "app/HostListStore.h"

#include "hosts/HostList.h"

#include <utility>

void THostListStore::Load(THostListPlace APlace) {
    FFile = std::make_unique<THostListFile>(std::move(APlace.Path), std::move(APlace.StartFrom),
                                            APlace.Own);
    FFile->Load(FList);
}

void THostListStore::Save() {
    if (FFile && FList.Count() > 0) {
        FFile->Save(FList);
    }
}

#include "hosts/HostListFile.h"

#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"
#include "hosts/HostListPlatform.h"
#include "system/System.h"

#include <cstdio>
#include <string>

std::string WithExtension(std::string_view APath, std::string_view AExtension) {
    const std::size_t NameStart = [&] {
        const std::size_t Sep = APath.find_last_of(HostListPlatform::PathSeparators());
        return Sep == std::string_view::npos ? 0 : Sep + 1;
    }();
    // A "." in a folder's name is not an extension.
    const std::size_t Dot = APath.rfind('.');
    const std::size_t Stem = Dot != std::string_view::npos && Dot >= NameStart ? Dot : APath.size();
    return std::string(APath.substr(0, Stem)).append(AExtension);
}

std::string HostListPathFor(std::string_view AExecutablePath) {
    return WithExtension(AExecutablePath, ".txt");
}

THostListPlace HostListPlaceFor(std::string_view AExecutablePath, std::string_view AConfigFolder) {
    std::string Beside = HostListPathFor(AExecutablePath);
    const bool Others = HostListPlatform::OwnedByAnotherInSharedFolder(Beside);
    if (AConfigFolder.empty() || (!Others && HostListPlatform::MayWriteFileOrFolder(Beside))) {
        return {std::move(Beside), {}};
    }
    std::string Own(AConfigFolder);
    if (Own.find_last_of(HostListPlatform::PathSeparators()) + 1 != Own.size()) {
        Own += HostListPlatform::PathSeparators().front();
    }
    Own.append("vexlo").append(1, HostListPlatform::PathSeparators().front()).append("vexlo.txt");
    if (Others) {
        // Not an error: the user still has a list, only not that one. Neither is it read to
        // start theirs from.
        std::fprintf(stderr,
                     "vexlo: \"%s\" belongs to another user in a shared folder; the list is "
                     "\"%s\"\n",
                     Beside.c_str(), Own.c_str());
        return {std::move(Own), {}, true};
    }
    return {std::move(Own), std::move(Beside), true};
}

THostListPlace HostListPlace() {
    return HostListPlaceFor(System::ExecutablePath(), HostListPlatform::UserConfigFolder());
}

std::string HostListPath() {
    return HostListPlace().Path;
}

THostListFile::THostListFile(std::string APath, std::string AStartFrom, bool AOwn)
    : FPath(std::move(APath)), FStartFrom(std::move(AStartFrom)),
      FOwn(AOwn || !FStartFrom.empty()) {}

void THostListFile::Load(THostList& AList) {
    std::string Bytes;
    std::string SystemText;
    try {
        HostListPlatform::FinishInterruptedSave(FPath);
    } catch (const EHostListError&) {
        // What an interrupted save left cut must not be taken for the list, nor saved over.
        FLoadFailed = true;
        AList.Clear();
        throw;
    }
    switch (HostListPlatform::ReadWholeFile(FPath, Bytes, SystemText)) {
    case HostListPlatform::TReadResult::Read:
        FLoadFailed = false;
        AList.Assign(std::move(Bytes));
        break;
    case HostListPlatform::TReadResult::Missing:
        FLoadFailed = false;
        // An administrator's list that this user may not read is no list for them.
        if (FStartFrom.empty() || HostListPlatform::ReadWholeFile(FStartFrom, Bytes, SystemText) !=
                                      HostListPlatform::TReadResult::Read) {
            Bytes = THostList::DefaultEntry;
        }
        AList.Assign(std::move(Bytes));
        break;
    case HostListPlatform::TReadResult::Failed:
        // The user's file is there but could not be read: writing the (empty, or since
        // edited) list over it at the end would lose it.
        FLoadFailed = true;
        AList.Clear();
        throw EFOpenError(FPath, SystemText);
    }
}

void THostListFile::Save(const THostList& AList) {
    if (FLoadFailed || AList.Count() == 0) {
        return;
    }
    if (FOwn) {
        HostListPlatform::MakeFolderFor(FPath);
    }
    HostListPlatform::TReplacement File(FPath);
    AList.ForEachPiece(
        [&File](std::string_view APiece) { File.Write(APiece.data(), APiece.size()); });
    File.Commit();
}

#pragma once
// The user's host list: one line of bytes per entry, address "=" display name, split at
// the first "=". Lines are kept as the file's own bytes, so that a line nobody edited goes
// back to disk exactly as it came, whatever it holds.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class THostList {
  public:
    static constexpr std::string_view DefaultEntry = "127.0.0.1=Localhost";

    THostList();
    ~THostList();
    THostList(THostList&&) noexcept;
    THostList& operator=(THostList&&) noexcept;

    std::size_t Count() const;
    std::string_view Line(std::size_t AIndex) const;
    // Text before the first "="; empty for a line without "=".
    std::string_view Address(std::size_t AIndex) const;
    // Text after the first "="; the whole line for a line without "=".
    std::string_view DisplayName(std::size_t AIndex) const;
    // Address and display name both empty ("" or "=").
    bool IsEmptyEntry(std::size_t AIndex) const;

    // The file's bytes, split at CR, LF and CR LF; a final line end adds no entry. Replaces
    // the whole list.
    void Assign(std::string ABytes);
    // Every line followed by CR LF.
    std::string Bytes() const;
    // The bytes of Bytes() in order, in large pieces, without building them whole: long runs
    // of unedited lines that lay in the file with CR LF come straight from it, the rest is
    // gathered.
    void ForEachPiece(const std::function<void(std::string_view)>& AWrite) const;

    void Clear();
    void Insert(std::size_t AIndex, std::string_view ALine);
    void Append(std::string_view ALine);
    void Delete(std::size_t AIndex);
    // Rebuilds the line as address "=" display name, the other part kept byte for byte.
    // An address holding "=" raises EKeyError and changes nothing.
    void SetAddress(std::size_t AIndex, std::string_view AAddress);
    void SetDisplayName(std::size_t AIndex, std::string_view AName);
    // Replaces the whole line as it is (the editor's Escape puts a line back this way).
    void SetLine(std::size_t AIndex, std::string_view ALine);

    // The address of the first entry whose lookup name (the line from just after the
    // address and one more character) equals AText, ignoring case in the user's locale,
    // over the whole of both texts. None when no entry matches.
    std::optional<std::string> LookupDisplayName(std::string_view AText) const;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl; // made on the first change: a moved-from list is empty
};

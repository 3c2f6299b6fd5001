#pragma once
// Errors of the host list, raised for the window to report in its error box. Their
// what() is the whole text the user sees.
#include <stdexcept>
#include <string>

class EHostListError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "Cannot open file "<path>". <system text>"
class EFOpenError : public EHostListError {
  public:
    EFOpenError(const std::string& APath, const std::string& ASystemText);
};

// "Cannot create file "<path>". <system text>"
class EFCreateError : public EHostListError {
  public:
    EFCreateError(const std::string& APath, const std::string& ASystemText);
};

// "Stream write error"
class EWriteError : public EHostListError {
  public:
    EWriteError();
};

// "Key may not contain equals sign ("=")"
class EKeyError : public EHostListError {
  public:
    EKeyError();
};

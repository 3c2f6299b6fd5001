#pragma once
// Exceptions of the network code. Every text the ping window shows is Message() exactly.
#include <cstdint>
#include <exception>
#include <string>

class Exception : public std::exception {
  public:
    explicit Exception(std::string AMessage) : FMessage(std::move(AMessage)) {}
    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }

  private:
    std::string FMessage;
};

// The error of integer text that does not convert (StrToInt), raised when address text
// does not convert.
class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

class EIdException : public Exception {
  public:
    using Exception::Exception;
};

class EIdSilentException : public EIdException {
  public:
    using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdSilentException {
  public:
    EIdConnClosedGracefully();
};

class EIdInvalidServiceName : public EIdException {
  public:
    using EIdException::EIdException;
};

class EIdInvalidSocket : public EIdException {
  public:
    EIdInvalidSocket();
};

class EIdSocketError : public EIdException {
  public:
    EIdSocketError(int32_t ACode, std::string AMessage)
        : EIdException(std::move(AMessage)), FSocketErrorCode(ACode) {}
    int32_t SocketErrorCode() const noexcept { return FSocketErrorCode; }

  private:
    int32_t FSocketErrorCode;
};

class EIdIcmpException : public EIdException {
  public:
    using EIdException::EIdException;
};

class EIdWS2StubError : public EIdException {
  public:
    // The message is the headline, then ": " and the system's text when a code is given.
    EIdWS2StubError(std::string AHeadline, uint32_t ASystemErrorCode);
    const std::string& Headline() const noexcept { return FHeadline; }
    int32_t SystemErrorCode() const noexcept { return FSystemErrorCode; }
    const std::string& SystemErrorText() const noexcept { return FSystemErrorText; }

  private:
    EIdWS2StubError(std::string AHeadline, uint32_t ACode, std::string ASystemText);
    std::string FHeadline;
    int32_t FSystemErrorCode;
    std::string FSystemErrorText;
};

class EIdStackError : public EIdException {
  public:
    using EIdException::EIdException;
};

class EIdStackInitializationFailed : public EIdStackError {
  public:
    EIdStackInitializationFailed();
};

class EIdStackSetSizeExceeded : public EIdStackError {
  public:
    EIdStackSetSizeExceeded();
};

class EIdSocketHandleError : public EIdException {
  public:
    using EIdException::EIdException;
};

class EIdPackageSizeTooBig : public EIdSocketHandleError {
  public:
    EIdPackageSizeTooBig();
};

class EIdNotAllBytesSent : public EIdSocketHandleError {
  public:
    EIdNotAllBytesSent();
};

// Formats a text with one %s or %d argument, the way the resource strings expect.
std::string FormatText(const char* AFormat, const std::string& AArg);
std::string FormatText(const char* AFormat, int32_t AArg);

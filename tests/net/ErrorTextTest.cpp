#include "net/IdException.h"
#include "net/IdResourceStrings.h"
#include "net/IdStackWindows.h"

#include <gtest/gtest.h>

namespace {
struct TCodeCase {
    int32_t Code;
    const char* Text;
    friend void PrintTo(const TCodeCase& C, std::ostream* Os) { *Os << C.Code; }
};

const TCodeCase Table[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    // Outside the table: the code line and an empty second line.
    {10093, ""},
    {10005, ""},
    {10067, ""},
    {11002, ""},
    {11004, ""},
    {0, ""},
    {-1, ""},
};

class SocketErrorText : public ::testing::TestWithParam<TCodeCase> {};

TEST_P(SocketErrorText, IsCodeLineThenTableText) {
    const auto& C = GetParam();
    TIdStackWindows Stack;
    const std::string Expected = "Socket Error # " + std::to_string(C.Code) + "\r\n" + C.Text;
    EXPECT_EQ(Stack.ErrorText(C.Code), Expected);
    EXPECT_EQ(Stack.TIdStack::ErrorText(C.Code), Expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, SocketErrorText, ::testing::ValuesIn(Table));

TEST(SocketErrorText, HostNotFoundOnlyThroughTheWindowsStack) {
    TIdStackWindows Stack;
    EXPECT_EQ(Stack.ErrorText(11001), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(Stack.TIdStack::ErrorText(11001), "Socket Error # 11001\r\n");
}

TEST(SocketErrorText, RaiseErrorCarriesTheCodeOfItsFirstLine) {
    TIdStackWindows Stack;
    try {
        Stack.RaiseError(10060);
        FAIL() << "no exception";
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.SocketErrorCode(), 10060);
        EXPECT_EQ(E.Message(), "Socket Error # 10060\r\nConnection timed out.");
    }
}

TEST(ExceptionTexts, FixedMessagesAndTree) {
    struct TCase {
        std::string Message;
        std::string Expected;
    } Cases[] = {
        {EIdInvalidSocket().Message(), "Cannot allocate socket."},
        {EIdConnClosedGracefully().Message(), "Connection Closed Gracefully."},
        {EIdPackageSizeTooBig().Message(), "Package Size Too Big."},
        {EIdNotAllBytesSent().Message(), "Not all bytes sent."},
        {EIdStackInitializationFailed().Message(), "Winsock Initialization Error."},
        {EIdStackSetSizeExceeded().Message(), "Set Size Exceeded."},
        {EIdWS2StubError("Headline only", 0).Message(), "Headline only"},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(C.Message, C.Expected);
    }
    EXPECT_TRUE((std::is_base_of_v<EIdSilentException, EIdConnClosedGracefully>));
    EXPECT_TRUE((std::is_base_of_v<EIdSocketHandleError, EIdPackageSizeTooBig>));
    EXPECT_TRUE((std::is_base_of_v<EIdSocketHandleError, EIdNotAllBytesSent>));
    EXPECT_TRUE((std::is_base_of_v<EIdStackError, EIdStackSetSizeExceeded>));
    EXPECT_TRUE((std::is_base_of_v<EIdStackError, EIdStackInitializationFailed>));
    EXPECT_TRUE((std::is_base_of_v<EIdException, EIdIcmpException>));
    EXPECT_TRUE((std::is_base_of_v<Exception, EIdException>));
    EXPECT_TRUE((std::is_base_of_v<Exception, EConvertError>));
    EXPECT_FALSE((std::is_base_of_v<EIdException, EConvertError>));
}

TEST(ExceptionTexts, StubErrorWithoutSystemTextEndsWithColonBlank) {
    const EIdWS2StubError E("Error on call Winsock2 library function select", 10093);
    EXPECT_EQ(E.SystemErrorCode(), 10093);
    EXPECT_EQ(E.Headline(), "Error on call Winsock2 library function select");
    EXPECT_EQ(E.Message(), E.Headline() + ": " + E.SystemErrorText());
    // No trailing blank, control character or full stop survives from the system's text.
    if (!E.SystemErrorText().empty()) {
        const char Last = E.SystemErrorText().back();
        EXPECT_NE(Last, '.');
        EXPECT_GT(static_cast<unsigned char>(Last), 32);
    }
}
} // namespace

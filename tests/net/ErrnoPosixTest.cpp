// errno as the Windows Sockets code that WSAGetLastError reports, on POSIX.
#include "net/posix/PosixSockets.h"

#include <cerrno>
#include <gtest/gtest.h>

TEST(ErrnoCode, EachErrnoTakesItsCodeAndAnErrnoWithoutOneStaysVisible) {
    const struct {
        int Errno;
        int Code;
    } Rows[] = {
        {EINTR, 10004},       {EACCES, 10013},      {EPERM, 10013},
        {EWOULDBLOCK, 10035}, {EMSGSIZE, 10040},    {ENOTCONN, 10057},
        {ENOMEM, 10055},      {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065},
        {EREMOTE, 10071},     {ENOENT, 20002},      {EBADMSG, 20000 + EBADMSG},
        {0, 20000},           {4000, 24000},
    };
    for (const auto& Row : Rows) {
        EXPECT_EQ(IdPosix::CodeFromErrno(Row.Errno), Row.Code) << Row.Errno;
    }
    // Back again, the first errno listed for a code is the one whose text describes it.
    EXPECT_EQ(IdPosix::ErrnoFromCode(10013), EACCES);
    EXPECT_EQ(IdPosix::ErrnoFromCode(20000 + EBADMSG), EBADMSG);
}

#pragma once
// An Xvfb of a test's own, on a display number the server chose itself, so that no other
// server's display is ever taken. Qt-free, for tests that speak Xlib directly.
#include <string>
#include <sys/types.h>

class TXServer {
  public:
    explicit TXServer(int AWidth = 640, int AHeight = 480);
    TXServer(const TXServer&) = delete;
    TXServer& operator=(const TXServer&) = delete;
    ~TXServer();

    // Empty when the server runs and takes clients; else what went wrong.
    const std::string& Error() const { return FError; }
    const std::string& Name() const { return FDisplay; }
    std::string DisplayVariable() const { return "DISPLAY=" + FDisplay; }

  private:
    pid_t FPid = -1;
    std::string FDisplay;
    std::string FError;
};

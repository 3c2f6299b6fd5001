#pragma once
#include "net/IdStack.h"
#include "net/IdWinSockTypes.h"

// A list of socket handles in a Windows-shaped set: 64 slots and a count.
class TIdSocketList {
  public:
    virtual ~TIdSocketList() = default;
    virtual TIdStackSocketHandle Item(int AIndex) const = 0;
    virtual void Add(TIdStackSocketHandle AHandle) = 0;
    virtual void Remove(TIdStackSocketHandle AHandle) = 0;
    virtual int Count() const = 0;
};

class TIdSocketListWindows : public TIdSocketList {
  public:
    TIdSocketListWindows();
    TIdStackSocketHandle Item(int AIndex) const override;
    void Add(TIdStackSocketHandle AHandle) override;
    void Remove(TIdStackSocketHandle AHandle) override;
    int Count() const override;

  private:
    IdWinSock2::TFdSet FFds;
};

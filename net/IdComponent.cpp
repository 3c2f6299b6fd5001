#include "net/IdComponent.h"

#include "net/IdStack.h"

TIdComponent::TIdComponent() {
    std::lock_guard<std::mutex> Guard(StackLock);
    ++StackUserCount;
    if (StackUserCount == 1) {
        try {
            SharedStack = TIdStack::MakeStack();
        } catch (...) {
            --StackUserCount;
            throw;
        }
    }
}

TIdComponent::~TIdComponent() {
    std::lock_guard<std::mutex> Guard(StackLock);
    --StackUserCount;
    if (StackUserCount == 0) {
        SharedStack.reset();
    }
}

void TIdComponent::BeginWork(TWorkMode AMode, int64_t ASize) {
    auto& Info = FWorkInfos[static_cast<int>(AMode)];
    if (++Info.Level == 1) {
        Info.Max = ASize;
        Info.Current = 0;
        if (OnWorkBegin) {
            OnWorkBegin(*this, AMode, ASize);
        }
    }
}

void TIdComponent::DoWork(TWorkMode AMode, int64_t ACount) {
    auto& Info = FWorkInfos[static_cast<int>(AMode)];
    if (Info.Level > 0) {
        Info.Current += ACount;
        if (OnWork) {
            OnWork(*this, AMode, Info.Current);
        }
    }
}

void TIdComponent::EndWork(TWorkMode AMode) {
    auto& Info = FWorkInfos[static_cast<int>(AMode)];
    if (Info.Level > 0 && --Info.Level == 0 && OnWorkEnd) {
        OnWorkEnd(*this, AMode, Info.Current);
    }
}

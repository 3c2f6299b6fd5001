#pragma once
// Network components. Each live component keeps the process-wide socket stack alive.
#include <cstdint>
#include <functional>
#include <string>

class TIdBaseComponent {
  public:
    TIdBaseComponent() = default;
    TIdBaseComponent(const TIdBaseComponent&) = delete;
    TIdBaseComponent& operator=(const TIdBaseComponent&) = delete;
    virtual ~TIdBaseComponent() = default;

    const std::string& Name() const { return FName; }
    void SetName(std::string AName) { FName = std::move(AName); }

  private:
    std::string FName;
};

enum class TIdStatus : uint8_t {
    hsResolving,
    hsConnecting,
    hsConnected,
    hsDisconnecting,
    hsDisconnected,
    hsStatusText
};
using TIdStatusEvent =
    std::function<void(TIdBaseComponent& ASender, TIdStatus AStatus, const std::string& AText)>;

enum class TWorkMode : uint8_t { wmRead, wmWrite };
using TWorkEvent = std::function<void(TIdBaseComponent& ASender, TWorkMode AMode, int64_t ACount)>;

class TIdComponent : public TIdBaseComponent {
  public:
    // Makes SharedStack when this is the first live component; a failure to make it leaves
    // the count as it was and no stack behind.
    TIdComponent();
    ~TIdComponent() override;

    TIdStatusEvent OnStatus;
    TWorkEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEvent OnWorkEnd;

    virtual void BeginWork(TWorkMode AMode, int64_t ASize);
    virtual void DoWork(TWorkMode AMode, int64_t ACount);
    virtual void EndWork(TWorkMode AMode);

  private:
    struct TWorkInfo {
        int64_t Current = 0;
        int64_t Max = 0;
        int Level = 0;
    };
    TWorkInfo FWorkInfos[2];
};

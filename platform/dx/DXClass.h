// The frame timer: ticks come from the application's idle processing, at
// most one per Interval of the backend's millisecond clock and one per idle
// pass, never made up when late, none while the application is inactive.
#pragma once

#include <cstdint>

#include "../vcl/Forms.h"

class TDXTimer : public TComponent {
public:
    explicit TDXTimer(TComponent* AOwner);
    ~TDXTimer() override;

    unsigned Interval = 1000;
    bool ActiveOnly = true;
    TDXTimerEvent OnTimer;

    bool Enabled() const { return enabled_; }
    // Turning the timer on starts it with the current time as the reference;
    // writing the value it already has does nothing.
    void SetEnabled(bool enabled);

    bool ReadProperty(std::string_view name, const TValue& value, TReader& reader) override;
    void Loaded() override;

private:
    bool Idle();
    bool enabled_ = false;
    bool storedEnabled_ = false;
    uint32_t oldTime_ = 0;
};

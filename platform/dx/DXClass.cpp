#include "DXClass.h"

#include "../backend/Backend.h"

TDXTimer::TDXTimer(TComponent* AOwner) : TComponent(AOwner) {
    Application.AddIdleHandler(this, [this] { return Idle(); });
    // Coming back to the application restarts the clock: no burst of ticks.
    Application.AddActivateHandler(this, [this] { oldTime_ = backend::Current().Ticks(); });
}

TDXTimer::~TDXTimer() {
    Application.RemoveIdleHandler(this);
    Application.RemoveActivateHandler(this);
}

void TDXTimer::SetEnabled(bool enabled) {
    if (Loading()) {
        storedEnabled_ = enabled;
        return;
    }
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_) oldTime_ = backend::Current().Ticks();
}

void TDXTimer::Loaded() {
    const bool wanted = storedEnabled_;
    storedEnabled_ = false;
    SetEnabled(wanted);
}

bool TDXTimer::Idle() {
    if (!enabled_) return false;
    if (ActiveOnly && !Application.Active()) return false;
    const uint32_t now = backend::Current().Ticks();
    const uint32_t elapsed = now - oldTime_;  // unsigned: the clock's wrap does no harm
    if (elapsed >= Interval) {
        const int lag = Interval > 0 ? static_cast<int>(elapsed / Interval) : 1;
        oldTime_ = now;
        if (OnTimer) OnTimer(this, lag < 1 ? 1 : lag);
    }
    return true;
}

bool TDXTimer::ReadProperty(std::string_view name, const TValue& value, TReader& reader) {
    if (name == "Interval") Interval = static_cast<unsigned>(TReader::IntValue(value));
    else if (name == "Enabled") SetEnabled(TReader::BoolValue(value));
    else if (name == "ActiveOnly") ActiveOnly = TReader::BoolValue(value);
    else if (name == "OnTimer") OnTimer = reader.BindEvent<TDXTimerEvent>(value);
    else return TComponent::ReadProperty(name, value, reader);
    return true;
}

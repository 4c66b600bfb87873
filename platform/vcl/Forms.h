// Controls, forms and the application object with its message loop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Classes.h"
#include "Graphics.h"

using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = uint8_t;
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };

class TCustomForm;

class TControl : public TComponent {
public:
    using TComponent::TComponent;
    TCustomForm* Parent() const { return parent_; }
    void SetParent(TCustomForm* parent) { parent_ = parent; }
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);
    TAlign Align = alNone;
    bool ReadProperty(std::string_view name, const TValue& value, TReader& reader) override;

    // The parent form's window was shown for the first time, or is about to
    // be destroyed.
    virtual void WindowShown() {}
    virtual void WindowDestroying() {}

private:
    TCustomForm* parent_ = nullptr;
    TCursor cursor_ = crDefault;
};

class TCustomForm : public TComponent {
public:
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;

    // Plain settings.
    std::string Caption;
    int ClientWidth = 0;
    int ClientHeight = 0;
    TBorderIcons BorderIcons = biSystemMenu | biMinimize | biMaximize;
    TPosition Position = poDesigned;
    bool OldCreateOrder = false;
    bool DoubleBuffered = false;
    bool KeyPreview = false;
    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TKeyEvent OnKeyDown;

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    // Changing the frame recreates the window when it already exists.
    void SetBorderStyle(TFormBorderStyle style);

    void Show();
    void Close();
    bool Visible() const { return visible_; }
    bool HandleAllocated() const { return windowCreated_; }
    void HandleNeeded();
    void DestroyHandle();

    void KeyDown(uint16_t key, TShiftState shift);

    // Reads the stored definition named after the class and fires OnCreate.
    void InitializeNewForm(std::string_view resourceName);
    void BeforeDestruction() override;
    bool ReadProperty(std::string_view name, const TValue& value, TReader& reader) override;
    void Loaded() override;

protected:
    std::vector<TControl*> Controls() const;

private:
    TFormBorderStyle borderStyle_ = bsSizeable;
    bool windowCreated_ = false;
    bool visible_ = false;
    bool shownOnce_ = false;
    bool destroying_ = false;
};

class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
};

// Idle handlers return true when they want more idle passes at once.
using TIdleHandler = std::function<bool()>;

class TApplication : public TComponent {
public:
    TApplication() : TComponent(nullptr) {}
    // The forms are destroyed at the end of Run. What is left when the
    // process exits for another reason (the window system went away) is not
    // torn down: that would talk to a display that no longer answers.
    ~TApplication() override { ForgetComponents(); }
    std::string Title;

    void Initialize();
    // Allocates the form, stores it in `reference` before constructing it,
    // constructs it from its stored definition and makes the first form
    // created the main form.
    template <class T>
    void CreateForm(T*& reference, std::string_view resourceName) {
        void* memory = ::operator new(sizeof(T));
        reference = static_cast<T*>(memory);
        T* form = nullptr;
        try {
            form = new (memory) T(this);  // owned by the application from here on
        } catch (...) {
            ::operator delete(memory);
            reference = nullptr;
            throw;
        }
        FormConstructed(form, resourceName);
    }
    void Run();
    void ProcessMessages();
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    TCustomForm* MainForm() const { return mainForm_; }
    bool Active() const { return active_; }

    void HandleException(const std::exception& e);
    void ShowException(const std::exception& e);
    // The text the error box shows for a message.
    static std::string ErrorBoxText(std::string message);

    void AddIdleHandler(void* key, TIdleHandler handler);
    void RemoveIdleHandler(void* key);
    void AddActivateHandler(void* key, std::function<void()> handler);
    void RemoveActivateHandler(void* key);
    // The program icon, 32 x 32, from the resource "MAINICON".
    const std::vector<uint32_t>& IconPixels() const { return icon_; }
    int IconSize() const { return iconSize_; }

private:
    void FormConstructed(TCustomForm* form, std::string_view resourceName);
    bool ProcessMessage();
    void Idle();
    void SetActive(bool active);
    TCustomForm* mainForm_ = nullptr;
    bool terminated_ = false;
    bool active_ = true;
    std::vector<std::pair<void*, TIdleHandler>> idle_;
    std::vector<std::pair<void*, std::function<void()>>> activate_;
    std::vector<uint32_t> icon_;
    int iconSize_ = 0;
};

extern TApplication Application;

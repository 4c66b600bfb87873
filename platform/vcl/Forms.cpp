#include "Forms.h"

#include <cstdio>

#include "../backend/Backend.h"

TApplication Application;

namespace {

backend::Border ToBackendBorder(TFormBorderStyle style) {
    switch (style) {
        case bsNone: return backend::Border::None;
        case bsSingle:
        case bsToolWindow: return backend::Border::Single;
        case bsDialog: return backend::Border::Dialog;
        default: return backend::Border::Sizeable;
    }
}

}  // namespace

// ------------------------------------------------------------------ control

void TControl::SetCursor(TCursor cursor) {
    cursor_ = cursor;
    if (parent_ && parent_->HandleAllocated()) backend::Current().SetCursorVisible(cursor != crNone);
}

bool TControl::ReadProperty(std::string_view name, const TValue& value, TReader& reader) {
    if (name == "Align") {
        Align = static_cast<TAlign>(
            TReader::EnumValue(value, {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}));
        return true;
    }
    if (name == "Cursor") {
        cursor_ = static_cast<TCursor>(value.kind == TValue::Kind::Ident
                                           ? (value.text == "crNone" ? crNone : crDefault)
                                           : TReader::IntValue(value));
        return true;
    }
    if (name == "Left" || name == "Top" || name == "Width" || name == "Height" ||
        name == "TabStop" || name == "TabOrder")
        return true;  // design-time placement; the display fills the client area
    return TComponent::ReadProperty(name, value, reader);
}

// --------------------------------------------------------------------- form

TCustomForm::TCustomForm(TComponent* AOwner) : TComponent(AOwner) {}

TCustomForm::~TCustomForm() {
    if (!destroying_) TCustomForm::BeforeDestruction();
}

void TCustomForm::BeforeDestruction() {
    if (destroying_) return;
    destroying_ = true;
    visible_ = false;
    // The destruction event comes first, while every component still exists.
    if (OnDestroy) {
        try {
            OnDestroy(this);
        } catch (const std::exception& e) {
            Application.HandleException(e);
        }
    }
    DestroyHandle();
}

std::vector<TControl*> TCustomForm::Controls() const {
    std::vector<TControl*> controls;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* control = dynamic_cast<TControl*>(Components(i)); control && control->Parent() == this)
            controls.push_back(control);
    return controls;
}

void TCustomForm::Loaded() {
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* control = dynamic_cast<TControl*>(Components(i)); control && !control->Parent())
            control->SetParent(this);
}

void TCustomForm::HandleNeeded() {
    if (windowCreated_) return;
    auto& b = backend::Current();
    backend::WindowSettings settings;
    settings.title = Caption;
    settings.clientWidth = ClientWidth;
    settings.clientHeight = ClientHeight;
    settings.border = ToBackendBorder(borderStyle_);
    settings.minimizeBox = (BorderIcons & biMinimize) != 0;
    settings.centered = Position == poScreenCenter || Position == poDesktopCenter ||
                    Position == poMainFormCenter;
    if (!b.CreateWindow(settings)) throw EOutOfResources("Error creating window");
    windowCreated_ = true;
    if (Application.IconSize() > 0)
        b.SetWindowIcon(Application.IconSize(), Application.IconSize(), Application.IconPixels());
    bool cursorVisible = true;
    for (TControl* control : Controls())
        if (control->Cursor() == crNone) cursorVisible = false;
    b.SetCursorVisible(cursorVisible);
    if (visible_) b.ShowWindow();
}

void TCustomForm::DestroyHandle() {
    if (!windowCreated_) return;
    for (TControl* control : Controls()) control->WindowDestroying();
    backend::Current().DestroyWindow();
    windowCreated_ = false;
}

void TCustomForm::SetBorderStyle(TFormBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    if (windowCreated_) {
        DestroyHandle();
        HandleNeeded();
    }
}

void TCustomForm::Show() {
    visible_ = true;
    HandleNeeded();
    backend::Current().ShowWindow();
    if (!shownOnce_) {
        shownOnce_ = true;
        for (TControl* control : Controls()) control->WindowShown();
    }
}

void TCustomForm::Close() {
    // No close query or close handler: closing the main form ends the
    // application, any other form is hidden.
    if (Application.MainForm() == this) {
        Application.Terminate();
    } else {
        visible_ = false;
    }
}

void TCustomForm::KeyDown(uint16_t key, TShiftState shift) {
    if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TCustomForm::InitializeNewForm(std::string_view resourceName) {
    TReader reader(FindResourceData(resourceName));
    reader.ReadRootComponent(this);
    // With OldCreateOrder False the creation event fires once the form and
    // all its components have been read and loaded.
    if (OnCreate) {
        try {
            OnCreate(this);
        } catch (const std::exception& e) {
            Application.HandleException(e);
        }
    }
}

bool TCustomForm::ReadProperty(std::string_view name, const TValue& value, TReader& reader) {
    if (name == "Caption") Caption = TReader::StringValue(value);
    else if (name == "ClientWidth") ClientWidth = static_cast<int>(TReader::IntValue(value));
    else if (name == "ClientHeight") ClientHeight = static_cast<int>(TReader::IntValue(value));
    else if (name == "BorderStyle")
        borderStyle_ = static_cast<TFormBorderStyle>(TReader::EnumValue(
            value, {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}));
    else if (name == "BorderIcons") {
        if (value.kind != TValue::Kind::Set) throw EReadError("Invalid property value: set expected");
        BorderIcons = 0;
        for (const auto& m : value.members) {
            if (m == "biSystemMenu") BorderIcons |= biSystemMenu;
            else if (m == "biMinimize") BorderIcons |= biMinimize;
            else if (m == "biMaximize") BorderIcons |= biMaximize;
            else if (m == "biHelp") BorderIcons |= biHelp;
            else throw EReadError("Invalid property value '" + m + "'");
        }
    } else if (name == "Position")
        Position = static_cast<TPosition>(TReader::EnumValue(
            value, {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                    "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"}));
    else if (name == "OldCreateOrder") OldCreateOrder = TReader::BoolValue(value);
    else if (name == "KeyPreview") KeyPreview = TReader::BoolValue(value);
    else if (name == "OnCreate") OnCreate = reader.BindEvent<TNotifyEvent>(value);
    else if (name == "OnDestroy") OnDestroy = reader.BindEvent<TNotifyEvent>(value);
    else if (name == "OnKeyDown") OnKeyDown = reader.BindEvent<TKeyEvent>(value);
    else if (name == "Left" || name == "Top" || name == "Color" || name == "PixelsPerInch" ||
             name == "TextHeight")
        return true;  // platform defaults that change nothing here
    else return TComponent::ReadProperty(name, value, reader);
    return true;
}

// -------------------------------------------------------------- application

void TApplication::Initialize() {
    terminated_ = false;
    active_ = true;
    mainForm_ = nullptr;
    backend::Current();
    icon_.clear();
    iconSize_ = 0;
    try {
        TDecodedDIB icon = DecodeBMPFile(FindResourceData("MAINICON"));
        if (icon.width == icon.height) {
            iconSize_ = icon.width;
            for (size_t i = 0; i < icon.bgr.size(); i += 3)
                icon_.push_back(0xFF000000u | (icon.bgr[i + 2] << 16) | (icon.bgr[i + 1] << 8) |
                                icon.bgr[i]);
        }
    } catch (const Exception&) {
        // A program without an icon still runs.
    }
}

void TApplication::FormConstructed(TCustomForm* form, std::string_view resourceName) {
    try {
        form->InitializeNewForm(resourceName);
    } catch (const std::exception& e) {
        // A form that cannot be read is not usable: report it and end.
        ShowException(e);
        form->BeforeDestruction();
        delete form;
        terminated_ = true;
        return;
    }
    if (!mainForm_) mainForm_ = form;
}

void TApplication::Run() {
    if (mainForm_ && !terminated_) {
        try {
            mainForm_->Show();
        } catch (const std::exception& e) {
            HandleException(e);
        }
        while (!terminated_) {
            if (!ProcessMessage()) Idle();
        }
    }
    // Shut-down: destroy the forms (their destruction events come first).
    while (ComponentCount() > 0) {
        TComponent* last = Components(ComponentCount() - 1);
        last->BeforeDestruction();
        delete last;
    }
    mainForm_ = nullptr;
    backend::Current().Shutdown();
}

void TApplication::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

bool TApplication::ProcessMessage() {
    backend::Event event;
    if (!backend::Current().PollEvent(event)) return false;
    try {
        switch (event.kind) {
            case backend::EventKind::KeyDown:
                if (mainForm_) {
                    TShiftState shift = 0;
                    if (event.mods & backend::ModShift) shift |= ssShift;
                    if (event.mods & backend::ModCtrl) shift |= ssCtrl;
                    if (event.mods & backend::ModAlt) shift |= ssAlt;
                    mainForm_->KeyDown(event.key, shift);
                }
                break;
            case backend::EventKind::CloseRequest:
                if (mainForm_) mainForm_->Close();
                break;
            case backend::EventKind::Quit:
                Terminate();
                break;
            case backend::EventKind::FocusGained:
                SetActive(true);
                break;
            case backend::EventKind::FocusLost:
                SetActive(false);
                break;
            case backend::EventKind::Exposed:
                break;
        }
    } catch (const std::exception& e) {
        HandleException(e);
    }
    return true;
}

void TApplication::Idle() {
    bool more = false;
    // Copy: a handler may add or remove handlers.
    auto handlers = idle_;
    for (auto& [key, handler] : handlers) {
        try {
            if (handler()) more = true;
        } catch (const std::exception& e) {
            HandleException(e);
            more = true;
        }
        if (terminated_) return;
    }
    if (!more) backend::Current().WaitEvent();
}

void TApplication::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active) {
        auto handlers = activate_;
        for (auto& [key, handler] : handlers) handler();
    }
}

void TApplication::AddIdleHandler(void* key, TIdleHandler handler) {
    idle_.emplace_back(key, std::move(handler));
}
void TApplication::RemoveIdleHandler(void* key) {
    std::erase_if(idle_, [key](const auto& h) { return h.first == key; });
}
void TApplication::AddActivateHandler(void* key, std::function<void()> handler) {
    activate_.emplace_back(key, std::move(handler));
}
void TApplication::RemoveActivateHandler(void* key) {
    std::erase_if(activate_, [key](const auto& h) { return h.first == key; });
}

std::string TApplication::ErrorBoxText(std::string message) {
    // A full stop goes after a message whose last character sorts after '.'.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
    return message;
}

void TApplication::ShowException(const std::exception& e) {
    backend::Current().MessageBox(Title, ErrorBoxText(e.what()));
}

void TApplication::HandleException(const std::exception& e) {
    if (dynamic_cast<const EAbort*>(&e)) return;
    ShowException(e);
}

// Fuzz target: the form stream reader. Any byte string read into a fresh main
// form must either load or fail with the reader's exception; anything else
// (another exception, a crash, a sanitizer report) is a fault.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <span>

#include "../platform/backend/Backend.h"
#include "../platform/backend/headless/Headless.h"
#include "Classes.h"
#include "DXClass.h"
#include "DXDraws.h"
#include "Forms.h"

namespace {

// Shaped like the program's main form: the same handler and field names, so
// that the program's own stream loads whole and mutations of it get past the
// root's properties. The handlers do nothing.
class TFuzzForm : public TForm {
public:
    using TForm::TForm;
    TDXDraw* dxDraw = nullptr;
    TDXTimer* dxTimer = nullptr;
    TDXImageList* ImageList = nullptr;
    TDXDIB* dxFont = nullptr;
    void FormCreate(TObject*) {}
    void FormDestroy(TObject*) {}
    void FormKeyDown(TObject*, uint16_t&, TShiftState) {}
    void dxTimerTimer(TObject*, int) {}
    std::span<const TPublishedMethod> PublishedMethods() const override {
        static const TPublishedMethod methods[] = {
            {"FormCreate", published::BindMethod<&TFuzzForm::FormCreate>},
            {"FormDestroy", published::BindMethod<&TFuzzForm::FormDestroy>},
            {"FormKeyDown", published::BindMethod<&TFuzzForm::FormKeyDown>},
            {"dxTimerTimer", published::BindMethod<&TFuzzForm::dxTimerTimer>},
        };
        return methods;
    }
    std::span<const TPublishedField> PublishedFields() const override {
        static const TPublishedField fields[] = {
            {"dxDraw", published::AssignField<&TFuzzForm::dxDraw>},
            {"dxTimer", published::AssignField<&TFuzzForm::dxTimer>},
            {"ImageList", published::AssignField<&TFuzzForm::ImageList>},
            {"dxFont", published::AssignField<&TFuzzForm::dxFont>},
        };
        return fields;
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Nothing a read does may reach a real window system.
    backend::Install(std::make_unique<backend::Headless>());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto form = std::make_unique<TFuzzForm>(nullptr);
    try {
        TReader(std::span<const uint8_t>(data, size)).ReadRootComponent(form.get());
    } catch (const EReadError&) {
        // The one way a bad stream may fail.
    } catch (const std::exception& e) {
        std::fprintf(stderr, "form reader: a stream failed with a foreign exception: %s\n", e.what());
        std::abort();
    }
    // As an owner frees a form: the destruction event first, while the form
    // is whole, then the object.
    form->BeforeDestruction();
    form.reset();
    return 0;
}

// The form reader over small streams built here: what a good stream makes,
// and that every kind of fault is a clear error naming what is wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes.h"
#include "DXClass.h"
#include "DXDraws.h"
#include "Forms.h"
#include "support.h"

namespace {

// Writes the binary form stream, one value at a time.
class Stream {
public:
    Stream() { bytes_ = {'T', 'P', 'F', '0'}; }
    Stream& Str(const std::string& s) {
        bytes_.push_back(uint8_t(s.size()));
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        return *this;
    }
    Stream& End() { return Byte(0); }
    Stream& Byte(uint8_t b) {
        bytes_.push_back(b);
        return *this;
    }
    Stream& Int(const std::string& name, int32_t v) {
        Str(name).Byte(vaInt32);
        for (int i = 0; i < 4; ++i) Byte(uint8_t(uint32_t(v) >> (8 * i)));
        return *this;
    }
    Stream& Bool(const std::string& name, bool v) { return Str(name).Byte(v ? vaTrue : vaFalse); }
    Stream& Ident(const std::string& name, const std::string& v) { return Str(name).Byte(vaIdent).Str(v); }
    Stream& String(const std::string& name, const std::string& v) { return Str(name).Byte(vaString).Str(v); }
    Stream& Object(const std::string& cls, const std::string& name) { return Str(cls).Str(name); }
    std::vector<uint8_t> bytes_;
};

class TTestForm : public TForm {
public:
    using TForm::TForm;
    TDXDraw* draw = nullptr;
    TDXTimer* timer = nullptr;
    int created = 0, ticked = 0;
    void Created(TObject*) { ++created; }
    void Ticked(TObject*, int) { ++ticked; }
    std::span<const TPublishedMethod> PublishedMethods() const override {
        static const TPublishedMethod methods[] = {
            {"Created", published::BindMethod<&TTestForm::Created>},
            {"Ticked", published::BindMethod<&TTestForm::Ticked>},
        };
        return methods;
    }
    std::span<const TPublishedField> PublishedFields() const override {
        static const TPublishedField fields[] = {
            {"draw", published::AssignField<&TTestForm::draw>},
            {"timer", published::AssignField<&TTestForm::timer>},
        };
        return fields;
    }
};

// A good definition, with hooks to spoil one part of it.
struct Spoil {
    std::string drawClass = "TDXDraw";
    std::string timerProperty = "Interval";
    std::string onCreate = "Created";
    std::string reference = "draw";
    bool extraChildProperty = false;
};

std::vector<uint8_t> Definition(const Spoil& s = {}) {
    Stream st;
    st.Object("TTestForm", "frm").String("Caption", "Korvane").Int("ClientWidth", 320).Ident("OnCreate", s.onCreate).End();
    st.Object(s.drawClass, "draw").Int("SurfaceWidth", 320).Int("SurfaceHeight", 240);
    if (s.extraChildProperty) st.Bool("Flickers", true);
    st.End().End();
    st.Object("TDXTimer", "timer").Int(s.timerProperty, 16).Bool("Enabled", false).Ident("OnTimer", "Ticked").End().End();
    st.Object("TDXImageList", "list").Ident("DXDraw", s.reference).End().End();
    st.End();
    return st.bytes_;
}

class Reader : public test::IntroRun {
protected:
    // Reads a stream into a fresh form; returns the error's message, or ""
    // when it was read.
    std::string Read(const std::vector<uint8_t>& data) {
        form = std::make_unique<TTestForm>(nullptr);
        try {
            TReader(data).ReadRootComponent(form.get());
        } catch (const EReadError& e) {
            return e.Message.empty() ? "(empty message)" : e.Message;
        }
        return "";
    }
    void TearDown() override {
        form.reset();
        IntroRun::TearDown();
    }
    std::unique_ptr<TTestForm> form;
};

TEST_F(Reader, AGoodStreamMakesTheComponentsSetsPropertiesAndBindsByName) {
    ASSERT_EQ(Read(Definition()), "");
    EXPECT_EQ(form->Name, "frm");
    EXPECT_EQ(form->Caption, "Korvane");
    EXPECT_EQ(form->ComponentCount(), 3);
    ASSERT_NE(form->draw, nullptr);
    ASSERT_NE(form->timer, nullptr);
    EXPECT_EQ(form->draw->Owner(), form.get());
    EXPECT_EQ(form->draw->SurfaceHeight, 240);
    EXPECT_EQ(form->timer->Interval, 16u);
    EXPECT_FALSE(form->timer->Enabled());
    auto* list = dynamic_cast<TDXImageList*>(form->FindComponent("list"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->DXDraw(), form->draw) << "the reference is fixed up";
    ASSERT_TRUE(form->OnCreate);
    form->OnCreate(form.get());
    EXPECT_EQ(form->created, 1);
    form->timer->OnTimer(form->timer, 1);
    EXPECT_EQ(form->ticked, 1);
}

struct FaultCase {
    const char* what;
    Spoil spoil;
    const char* named;  // the error must name this
    bool classNotFound;
};

TEST_F(Reader, EveryFaultIsAnErrorThatNamesIt) {
    const FaultCase table[] = {
        {"unknown class", {.drawClass = "TDXDrawing"}, "TDXDrawing", true},
        {"unknown property", {.timerProperty = "Intervall"}, "Intervall", false},
        {"unknown property of a child", {.extraChildProperty = true}, "Flickers", false},
        {"unknown handler", {.onCreate = "FormCreated"}, "FormCreated", false},
        {"bad reference", {.reference = "dxDisplay"}, "dxDisplay", false},
        {"reference to the wrong class", {.reference = "timer"}, "timer", false},
    };
    int rows = 0;
    for (const FaultCase& c : table) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> data = Definition(c.spoil);
        bool classError = false;
        std::string message;
        form = std::make_unique<TTestForm>(nullptr);
        try {
            TReader(data).ReadRootComponent(form.get());
        } catch (const EClassNotFound& e) {
            classError = true;
            message = e.Message;
        } catch (const EReadError& e) {
            message = e.Message;
        }
        EXPECT_NE(message.find(c.named), std::string::npos) << "message: " << message;
        EXPECT_EQ(classError, c.classNotFound);
        ++rows;
    }
    EXPECT_EQ(rows, int(std::size(table)));
}

TEST_F(Reader, EveryTruncationOfAGoodStreamIsAReadError) {
    const std::vector<uint8_t> whole = Definition();
    for (size_t n = 0; n < whole.size(); ++n) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + n);
        EXPECT_NE(Read(cut), "") << "a stream cut to " << n << " of " << whole.size() << " bytes was accepted";
    }
}

TEST_F(Reader, ASignatureOtherThanTPF0OrAnUnknownValueTagIsRefused) {
    std::vector<uint8_t> data = Definition();
    data[3] = '1';
    EXPECT_NE(Read(data).find("TPF0"), std::string::npos);
    Stream st;
    st.Object("TTestForm", "frm").Str("Caption").Byte(0x42).End().End();
    EXPECT_NE(Read(st.bytes_), "");
}

TEST_F(Reader, TheProgramsDefinitionIsAStreamWithTheSignature) {
    const auto data = FindResourceData("TFRMMAIN");
    ASSERT_GE(data.size(), 4u);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 4), "TPF0");
}

}  // namespace

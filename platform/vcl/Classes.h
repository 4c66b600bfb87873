// Objects, components with ownership, events, streams and the class registry
// that the form reader creates components from.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "SysUtils.h"

class TObject {
public:
    virtual ~TObject() = default;
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};
inline TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }

enum TShiftBit : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = uint8_t;

class TComponent;
class TReader;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TDXTimerEvent = std::function<void(TObject* Sender, int LagCount)>;
using TMethod = std::variant<TNotifyEvent, TKeyEvent, TDXTimerEvent>;

// A handler that a form class publishes for its stored definition to bind.
struct TPublishedMethod {
    const char* name;
    TMethod (*bind)(TComponent* self);
};
// A component field that the reader fills with the component of that name.
struct TPublishedField {
    const char* name;
    bool (*assign)(TComponent* self, TComponent* value);
};

namespace published {
template <class T>
struct MemberOf;
template <class C, class R, class... A>
struct MemberOf<R (C::*)(A...)> {
    using Class = C;
    using Function = std::function<R(A...)>;
};
template <class C, class T>
struct MemberOf<T* C::*> {
    using Class = C;
    using Type = T;
};

template <auto M>
TMethod BindMethod(TComponent* self) {
    using Traits = MemberOf<decltype(M)>;
    auto* object = static_cast<typename Traits::Class*>(self);
    return typename Traits::Function([object](auto&&... args) {
        (object->*M)(std::forward<decltype(args)>(args)...);
    });
}

template <auto F>
bool AssignField(TComponent* self, TComponent* value) {
    using Traits = MemberOf<decltype(F)>;
    auto* typed = dynamic_cast<typename Traits::Type*>(value);
    if (!typed) return false;
    static_cast<typename Traits::Class*>(self)->*F = typed;
    return true;
}
}  // namespace published

// A value read from a stored definition.
struct TValue {
    enum class Kind { Int, Bool, String, Ident, Binary, Set, Collection };
    struct Property;
    using Item = std::vector<Property>;
    Kind kind = Kind::Int;
    int64_t integer = 0;
    std::string text;                   // String, Ident
    std::vector<uint8_t> bytes;         // Binary
    std::vector<std::string> members;   // Set
    std::vector<Item> items;            // Collection
    const char* KindName() const;
};
struct TValue::Property {
    std::string name;
    TValue value;
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    std::string Name;
    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(index); }
    TComponent* FindComponent(std::string_view name) const;
    // Frees every owned component, newest first.
    void DestroyComponents();

    // Stored-definition support. ReadProperty returns false for a name the
    // class does not know; the reader then reports it.
    virtual bool ReadProperty(std::string_view name, const TValue& value, TReader& reader);
    // Called once all components of a definition are read and fixed up.
    virtual void Loaded() {}
    // Called by an owner just before it deletes the component, while the
    // component is still whole (destruction events run here).
    virtual void BeforeDestruction() {}
    bool Loading() const { return loading_; }

    virtual std::span<const TPublishedMethod> PublishedMethods() const { return {}; }
    virtual std::span<const TPublishedField> PublishedFields() const { return {}; }

protected:
    // Lets go of every owned component without deleting it.
    void ForgetComponents();

private:
    friend class TReader;
    void Insert(TComponent* component);
    void Remove(TComponent* component);
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    bool loading_ = false;
};

// The registry of classes that stored definitions may name.
using TComponentFactory = std::unique_ptr<TComponent> (*)(TComponent* owner);
void RegisterClass(std::string_view className, TComponentFactory factory);
TComponentFactory FindClass(std::string_view className);
template <class T>
void RegisterClass(std::string_view className) {
    RegisterClass(className, [](TComponent* owner) -> std::unique_ptr<TComponent> {
        return std::make_unique<T>(owner);
    });
}

// Reads a binary form stream ("TPF0") into an existing root component:
// children are created by class name, properties set by name, references
// fixed up once all are read, handlers bound by name from the root's table.
class TReader {
public:
    explicit TReader(std::span<const uint8_t> data);
    void ReadRootComponent(TComponent* root);

    // For ReadProperty implementations.
    TComponent* Root() const { return root_; }
    // Binds an event property to the root's published method of that name.
    TMethod FindMethod(const TValue& value) const;
    template <class E>
    E BindEvent(const TValue& value) const {
        TMethod method = FindMethod(value);
        if (auto* event = std::get_if<E>(&method)) return *event;
        throw EReadError("Method '" + value.text + "' has the wrong parameters for this event");
    }
    // Defers a component reference until every component has been read.
    void AddFixup(const TValue& value, std::function<bool(TComponent*)> assign);
    // Reads a set-valued or enumerated property.
    static int64_t IntValue(const TValue& value);
    static bool BoolValue(const TValue& value);
    static const std::string& StringValue(const TValue& value);
    static const std::string& IdentValue(const TValue& value);
    // The position of an enumerated identifier among `names`.
    static int64_t EnumValue(const TValue& value, std::initializer_list<const char*> names);

private:
    struct Fixup {
        std::string where, ident;
        std::function<bool(TComponent*)> assign;
    };
    void ReadObjectInto(TComponent* component, bool isRoot);
    void ReadProperties(TComponent* component);
    TValue ReadValue();
    uint8_t ReadByte();
    std::string ReadShortString();
    uint32_t ReadUInt32();
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    TComponent* root_ = nullptr;
    std::vector<Fixup> fixups_;
    std::vector<TComponent*> loaded_;
    std::string where_;
    // Nesting of objects and collection items being read; bounded so that a
    // hostile stream cannot exhaust the stack.
    int depth_ = 0;
    struct NestingGuard;
};

// The byte tags of the form stream.
enum TValueType : uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaCollection = 14,
};

// Growable in-memory stream.
class TMemoryStream : public TObject {
public:
    int64_t Write(const void* buffer, int64_t count);
    void SaveToFile(const std::string& fileName) const;
    int64_t Size() const { return static_cast<int64_t>(data_.size()); }
    const uint8_t* Memory() const { return data_.data(); }

private:
    std::vector<uint8_t> data_;
};

// Resources built into the executable (the form definitions, the icon).
struct TResource {
    const char* name;
    std::span<const uint8_t> data;
};
void RegisterResources(std::span<const TResource> resources);
// Throws EResNotFound when the resource does not exist.
std::span<const uint8_t> FindResourceData(std::string_view name);

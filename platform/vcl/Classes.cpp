#include "Classes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

// ---------------------------------------------------------------- components

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->Insert(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (owner_) owner_->Remove(this);
}

void TComponent::Insert(TComponent* component) {
    components_.push_back(component);
    component->owner_ = this;
}

void TComponent::Remove(TComponent* component) {
    auto it = std::find(components_.begin(), components_.end(), component);
    if (it != components_.end()) components_.erase(it);
    component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
    // An owner deletes what it owns; each child removes itself from the list.
    while (!components_.empty()) {
        TComponent* last = components_.back();
        last->BeforeDestruction();
        delete last;
    }
}

void TComponent::ForgetComponents() {
    for (TComponent* c : components_) c->owner_ = nullptr;
    components_.clear();
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_) {
        if (c->Name.size() == name.size() &&
            std::equal(name.begin(), name.end(), c->Name.begin(),
                       [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
            return c;
    }
    return nullptr;
}

bool TComponent::ReadProperty(std::string_view name, const TValue& value, TReader&) {
    if (name == "Name") {
        Name = TReader::StringValue(value);
        return true;
    }
    // Design-time placement of a component; nothing at run time uses it.
    if (name == "Left" || name == "Top") return TReader::IntValue(value), true;
    return false;
}

// ------------------------------------------------------------ class registry

namespace {
std::map<std::string, TComponentFactory, std::less<>>& ClassTable() {
    static std::map<std::string, TComponentFactory, std::less<>> table;
    return table;
}
}  // namespace

void RegisterClass(std::string_view className, TComponentFactory factory) {
    ClassTable()[std::string(className)] = factory;
}

TComponentFactory FindClass(std::string_view className) {
    auto& table = ClassTable();
    auto it = table.find(className);
    return it == table.end() ? nullptr : it->second;
}

// ------------------------------------------------------------------- values

const char* TValue::KindName() const {
    switch (kind) {
        case Kind::Int: return "integer";
        case Kind::Bool: return "boolean";
        case Kind::String: return "string";
        case Kind::Ident: return "identifier";
        case Kind::Binary: return "binary data";
        case Kind::Set: return "set";
        case Kind::Collection: return "collection";
    }
    return "value";
}

int64_t TReader::IntValue(const TValue& value) {
    if (value.kind != TValue::Kind::Int) throw EReadError("Invalid property value: integer expected");
    return value.integer;
}
bool TReader::BoolValue(const TValue& value) {
    if (value.kind != TValue::Kind::Bool) throw EReadError("Invalid property value: boolean expected");
    return value.integer != 0;
}
const std::string& TReader::StringValue(const TValue& value) {
    if (value.kind != TValue::Kind::String) throw EReadError("Invalid property value: string expected");
    return value.text;
}
const std::string& TReader::IdentValue(const TValue& value) {
    if (value.kind != TValue::Kind::Ident) throw EReadError("Invalid property value: identifier expected");
    return value.text;
}

int64_t TReader::EnumValue(const TValue& value, std::initializer_list<const char*> names) {
    const std::string& ident = IdentValue(value);
    int64_t i = 0;
    for (const char* name : names) {
        if (ident == name) return i;
        ++i;
    }
    throw EReadError("Invalid property value '" + ident + "'");
}

// ------------------------------------------------------------------- reader

TReader::TReader(std::span<const uint8_t> data) : data_(data) {}

// A real definition nests a few levels (form, component, collection item);
// anything deeper than this is damage, and reading it recursively would run
// out of stack long before it ran out of bytes.
constexpr int kMaxNesting = 32;

struct TReader::NestingGuard {
    explicit NestingGuard(TReader& reader) : reader_(reader) {
        if (++reader_.depth_ > kMaxNesting) {
            --reader_.depth_;
            throw EReadError("Invalid stream format: objects nested too deeply");
        }
    }
    ~NestingGuard() { --reader_.depth_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
    TReader& reader_;
};

uint8_t TReader::ReadByte() {
    if (pos_ >= data_.size()) throw EReadError("Stream read error: the form definition ends early");
    return data_[pos_++];
}

uint32_t TReader::ReadUInt32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(ReadByte()) << (8 * i);
    return v;
}

std::string TReader::ReadShortString() {
    const uint8_t length = ReadByte();
    if (data_.size() - pos_ < length) throw EReadError("Stream read error: the form definition ends early");
    std::string s(reinterpret_cast<const char*>(data_.data() + pos_), length);
    pos_ += length;
    return s;
}

TValue TReader::ReadValue() {
    TValue v;
    const uint8_t tag = ReadByte();
    switch (tag) {
        case vaInt8:
            v.integer = static_cast<int8_t>(ReadByte());
            break;
        case vaInt16: {
            uint16_t lo = ReadByte(), hi = ReadByte();
            v.integer = static_cast<int16_t>(lo | (hi << 8));
            break;
        }
        case vaInt32:
            v.integer = static_cast<int32_t>(ReadUInt32());
            break;
        case vaFalse:
        case vaTrue:
            v.kind = TValue::Kind::Bool;
            v.integer = tag == vaTrue;
            break;
        case vaString:
            v.kind = TValue::Kind::String;
            v.text = ReadShortString();
            break;
        case vaLString: {
            v.kind = TValue::Kind::String;
            const uint32_t length = ReadUInt32();
            if (data_.size() - pos_ < length) throw EReadError("Stream read error: the form definition ends early");
            v.text.assign(reinterpret_cast<const char*>(data_.data() + pos_), length);
            pos_ += length;
            break;
        }
        case vaIdent:
            v.kind = TValue::Kind::Ident;
            v.text = ReadShortString();
            break;
        case vaBinary: {
            v.kind = TValue::Kind::Binary;
            const uint32_t length = ReadUInt32();
            if (data_.size() - pos_ < length) throw EReadError("Stream read error: the form definition ends early");
            v.bytes.assign(data_.begin() + pos_, data_.begin() + pos_ + length);
            pos_ += length;
            break;
        }
        case vaSet:
            v.kind = TValue::Kind::Set;
            for (std::string m = ReadShortString(); !m.empty(); m = ReadShortString())
                v.members.push_back(std::move(m));
            break;
        case vaCollection: {
            const NestingGuard nested(*this);
            v.kind = TValue::Kind::Collection;
            for (uint8_t marker = ReadByte(); marker != vaNull; marker = ReadByte()) {
                if (marker != vaList) throw EReadError("Invalid stream format: collection item expected");
                TValue::Item item;
                for (std::string name = ReadShortString(); !name.empty(); name = ReadShortString())
                    item.push_back({name, ReadValue()});
                v.items.push_back(std::move(item));
            }
            break;
        }
        default:
            throw EReadError(Format("Invalid stream format: unknown value type %u", tag));
    }
    return v;
}

void TReader::ReadProperties(TComponent* component) {
    for (std::string name = ReadShortString(); !name.empty(); name = ReadShortString()) {
        TValue value = ReadValue();
        const std::string where = (component->Name.empty() ? where_ : component->Name) + "." + name;
        try {
            if (!component->ReadProperty(name, value, *this))
                throw EReadError("Property " + name + " does not exist");
        } catch (const EReadError& e) {
            if (e.Message.rfind("Error reading ", 0) == 0) throw;
            throw EReadError("Error reading " + where + ": " + e.Message);
        }
    }
}

void TReader::ReadObjectInto(TComponent* component, bool isRoot) {
    const NestingGuard nested(*this);
    component->loading_ = true;
    loaded_.push_back(component);
    ReadProperties(component);
    for (std::string className = ReadShortString(); !className.empty();
         className = ReadShortString()) {
        std::string name = ReadShortString();
        TComponentFactory factory = FindClass(className);
        if (!factory) throw EClassNotFound("Class " + className + " not found");
        // The root owns every component of its definition.
        TComponent* child = factory(root_).release();
        child->Name = name;
        bool assigned = false;
        for (const auto& field : root_->PublishedFields()) {
            if (name == field.name) {
                if (!field.assign(root_, child))
                    throw EReadError("Field " + name + " is not a " + className);
                assigned = true;
            }
        }
        (void)assigned;  // components without a field are found by name
        where_ = name;
        ReadObjectInto(child, false);
    }
    (void)isRoot;
}

TMethod TReader::FindMethod(const TValue& value) const {
    const std::string& name = IdentValue(value);
    for (const auto& method : root_->PublishedMethods()) {
        if (name == method.name) return method.bind(root_);
    }
    throw EReadError("Method '" + name + "' not found in " + root_->Name);
}

void TReader::AddFixup(const TValue& value, std::function<bool(TComponent*)> assign) {
    fixups_.push_back({where_, IdentValue(value), std::move(assign)});
}

void TReader::ReadRootComponent(TComponent* root) {
    root_ = root;
    if (data_.size() < 4 || std::memcmp(data_.data(), "TPF0", 4) != 0)
        throw EReadError("Invalid stream format: no TPF0 signature");
    pos_ = 4;
    std::string className = ReadShortString();
    std::string name = ReadShortString();
    root->Name = name;
    where_ = name;
    ReadObjectInto(root, true);
    if (pos_ != data_.size() && data_[pos_] != vaNull)
        throw EReadError("Invalid stream format: data after the root object");
    for (auto& fixup : fixups_) {
        TComponent* target = root->FindComponent(fixup.ident);
        if (!target && fixup.ident == root->Name) target = root;
        if (!target)
            throw EReadError("Error reading " + fixup.where + ": invalid reference to '" +
                             fixup.ident + "'");
        if (!fixup.assign(target))
            throw EReadError("Error reading " + fixup.where + ": '" + fixup.ident +
                             "' is of the wrong class");
    }
    fixups_.clear();
    for (TComponent* c : loaded_) c->loading_ = false;
    for (TComponent* c : loaded_) c->Loaded();
    loaded_.clear();
}

// ------------------------------------------------------------ memory stream

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    data_.insert(data_.end(), bytes, bytes + count);
    return count;
}

// ---------------------------------------------------------------- resources

namespace {
std::vector<TResource>& ResourceTable() {
    static std::vector<TResource> table;
    return table;
}
}  // namespace

void RegisterResources(std::span<const TResource> resources) {
    auto& table = ResourceTable();
    table.insert(table.end(), resources.begin(), resources.end());
}

std::span<const uint8_t> FindResourceData(std::string_view name) {
    for (const auto& r : ResourceTable())
        if (name == r.name) return r.data;
    throw EResNotFound("Resource " + std::string(name) + " not found");
}

// Saving replaces the file instead of truncating it: a running process that
// has the old file mapped (a loaded library) keeps its pages, and a link
// planted at the name is replaced rather than followed.
void TMemoryStream::SaveToFile(const std::string& fileName) const {
    const auto slash = fileName.find_last_of('/');
    std::string scratch = (slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1)) +
                          "." + fileName.substr(slash == std::string::npos ? 0 : slash + 1) +
                          ".XXXXXX";
    const int fd = mkstemp(scratch.data());
    if (fd < 0)
        throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName.c_str(),
                                   std::strerror(errno)));
    // mkstemp makes the file 0600; give it the mode a newly created file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    // A file-size limit would otherwise end the process with SIGXFSZ in the
    // middle of a write; held back, the write fails with EFBIG and is
    // reported like a full disk. The signal it left pending is taken before
    // the mask is restored.
    struct SizeSignalHeld {
        sigset_t held, previous;
        SizeSignalHeld() {
            sigemptyset(&held);
            sigaddset(&held, SIGXFSZ);
            pthread_sigmask(SIG_BLOCK, &held, &previous);
        }
        ~SizeSignalHeld() {
            const timespec now{0, 0};
            while (sigtimedwait(&held, nullptr, &now) == SIGXFSZ) {
            }
            pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        }
    } sizeSignalHeld;
    size_t done = 0;
    while (done < data_.size()) {
        const ssize_t n = ::write(fd, data_.data() + done, data_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(scratch.c_str());
            throw EWriteError(Format("Stream write error (%s)", n < 0 ? std::strerror(err) : "no space"));
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(scratch.c_str());
        throw EWriteError(Format("Stream write error (%s)", std::strerror(err)));
    }
    if (std::rename(scratch.c_str(), fileName.c_str()) != 0) {
        const int err = errno;
        ::unlink(scratch.c_str());
        throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName.c_str(),
                                   std::strerror(err)));
    }
}

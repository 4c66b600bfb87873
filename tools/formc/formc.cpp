// The form compiler: turns a readable form definition into the binary form
// stream that the program carries as a resource ("TPF0" first).
//
//   object frmMain: TfrmMain          a component: name and class
//     Caption = 'Korvane'              string
//     ClientWidth = 320                integer
//     OldCreateOrder = False           boolean
//     BorderStyle = bsSingle           identifier (enumeration, reference, handler)
//     BorderIcons = [biSystemMenu]     set
//     Items = <                        collection of items
//       item
//         Picture.Data = @picture('kvnLogo.bmp')   a 24-bit BMP beside the
//       end>                                       definition, as a stored picture
//     DIB.Data = @dib('FontSheet.bmp') the same as bare bitmap data
//     Data = {0A0B0C}                  binary, in hex
//     object child: TClass ... end     owned components
//   end
//
// usage: formc <definition> <output>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

enum : uint8_t {
    kNull = 0, kList = 1, kInt8 = 2, kInt16 = 3, kInt32 = 4, kString = 6, kIdent = 7,
    kFalse = 8, kTrue = 9, kBinary = 10, kSet = 11, kLString = 12, kCollection = 14,
};

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (uint32_t(d[at + 3]) << 24);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

// A 24-bit BMP file as bitmap data without the file header: a clean
// 40-byte header, then the rows bottom-up, each padded to four bytes.
std::vector<uint8_t> DibFromBmp(const std::string& path) {
    const auto file = ReadFile(path);
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') throw Error(path + ": not a BMP file");
    const uint32_t offBits = Le32(file, 10);
    const int32_t width = int32_t(Le32(file, 18));
    const int32_t height = int32_t(Le32(file, 22));
    const uint16_t bits = uint16_t(file[28] | (file[29] << 8));
    const uint32_t compression = Le32(file, 30);
    if (bits != 24 || compression != 0 || width <= 0 || height == 0)
        throw Error(path + ": must be an uncompressed 24-bit BMP");
    const int rows = height < 0 ? -height : height;
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    if (offBits > file.size() || (file.size() - offBits) / stride < size_t(rows))
        throw Error(path + ": pixel data cut short");
    std::vector<uint8_t> dib;
    Put32(dib, 40);
    Put32(dib, uint32_t(width));
    Put32(dib, uint32_t(rows));
    Put16(dib, 1);
    Put16(dib, 24);
    Put32(dib, 0);
    Put32(dib, uint32_t(stride * rows));
    for (int i = 0; i < 4; ++i) Put32(dib, 0);
    for (int r = 0; r < rows; ++r) {
        // Stored bottom-up whatever order the file has.
        const int fileRow = height > 0 ? r : rows - 1 - r;
        const uint8_t* src = file.data() + offBits + size_t(fileRow) * stride;
        dib.insert(dib.end(), src, src + stride);
    }
    return dib;
}

class Compiler {
public:
    Compiler(std::string text, std::string folder) : text_(std::move(text)), folder_(std::move(folder)) {}

    std::vector<uint8_t> Compile() {
        out_ = {'T', 'P', 'F', '0'};
        Expect("object");
        Object();
        Skip();
        if (pos_ < text_.size()) Fail("text after the last 'end'");
        return out_;
    }

private:
    [[noreturn]] void Fail(const std::string& what) {
        int line = 1;
        for (size_t i = 0; i < pos_ && i < text_.size(); ++i) line += text_[i] == '\n';
        throw Error("line " + std::to_string(line) + ": " + what);
    }
    void Skip() {
        while (pos_ < text_.size()) {
            if (std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
            else if (text_.compare(pos_, 2, "//") == 0) while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            else break;
        }
    }
    char Peek() {
        Skip();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    std::string Word() {
        Skip();
        size_t start = pos_;
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_' ||
                                       text_[pos_] == '.'))
            ++pos_;
        if (start == pos_) Fail("a name was expected");
        return text_.substr(start, pos_ - start);
    }
    void Expect(const std::string& word) {
        const size_t at = pos_;
        if (Word() != word) {
            pos_ = at;
            Fail("'" + word + "' was expected");
        }
    }
    void ExpectChar(char c) {
        if (Peek() != c) Fail(std::string("'") + c + "' was expected");
        ++pos_;
    }
    void ShortString(const std::string& s) {
        if (s.size() > 255) Fail("name or string longer than 255 characters");
        out_.push_back(uint8_t(s.size()));
        out_.insert(out_.end(), s.begin(), s.end());
    }
    std::string QuotedString() {
        ExpectChar('\'');
        std::string s;
        for (;;) {
            if (pos_ >= text_.size()) Fail("unterminated string");
            char c = text_[pos_++];
            if (c == '\'') {
                if (pos_ < text_.size() && text_[pos_] == '\'') {
                    s += '\'';
                    ++pos_;
                    continue;
                }
                break;
            }
            s += c;
        }
        return s;
    }
    void Binary(const std::vector<uint8_t>& bytes) {
        out_.push_back(kBinary);
        Put32(out_, uint32_t(bytes.size()));
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }

    void Object() {
        const std::string name = Word();
        ExpectChar(':');
        const std::string className = Word();
        ShortString(className);
        ShortString(name);
        bool ended = false;
        for (;;) {
            const size_t at = pos_;
            const std::string word = Word();
            if (word == "end") {
                ended = true;
                break;
            }
            if (word == "object") {
                // Children follow the properties in the stream.
                pos_ = at;
                break;
            }
            ShortString(word);
            ExpectChar('=');
            Value();
        }
        out_.push_back(kNull);  // end of properties
        while (!ended) {
            const std::string word = Word();
            if (word == "end") {
                ended = true;
                break;
            }
            if (word != "object") Fail("'object' or 'end' was expected");
            Object();
        }
        out_.push_back(kNull);  // end of children
    }

    void Value() {
        const char c = Peek();
        if (c == '\'') {
            const std::string s = QuotedString();
            if (s.size() <= 255) {
                out_.push_back(kString);
                ShortString(s);
            } else {
                out_.push_back(kLString);
                Put32(out_, uint32_t(s.size()));
                out_.insert(out_.end(), s.begin(), s.end());
            }
        } else if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            size_t used = 0;
            long long v = 0;
            try {
                v = std::stoll(text_.substr(pos_, 24), &used, 10);
            } catch (const std::exception&) {
                Fail("bad number");
            }
            pos_ += used;
            if (v >= -128 && v <= 127) {
                out_.push_back(kInt8);
                out_.push_back(uint8_t(int8_t(v)));
            } else if (v >= -32768 && v <= 32767) {
                out_.push_back(kInt16);
                Put16(out_, uint16_t(int16_t(v)));
            } else if (v >= INT32_MIN && v <= INT32_MAX) {
                out_.push_back(kInt32);
                Put32(out_, uint32_t(int32_t(v)));
            } else {
                Fail("number out of range");
            }
        } else if (c == '[') {
            ++pos_;
            out_.push_back(kSet);
            if (Peek() != ']') {
                for (;;) {
                    ShortString(Word());
                    if (Peek() == ',') { ++pos_; continue; }
                    break;
                }
            }
            ExpectChar(']');
            out_.push_back(0);
        } else if (c == '<') {
            ++pos_;
            out_.push_back(kCollection);
            while (Peek() != '>') {
                Expect("item");
                out_.push_back(kList);
                for (;;) {
                    const std::string word = Word();
                    if (word == "end") break;
                    ShortString(word);
                    ExpectChar('=');
                    Value();
                }
                out_.push_back(kNull);
            }
            ++pos_;
            out_.push_back(kNull);
        } else if (c == '{') {
            ++pos_;
            std::vector<uint8_t> bytes;
            std::string hex;
            while (Peek() != '}') {
                if (pos_ >= text_.size()) Fail("unterminated binary value");
                hex += text_[pos_++];
            }
            ++pos_;
            if (hex.size() % 2) Fail("odd number of hex digits");
            for (size_t i = 0; i < hex.size(); i += 2) bytes.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
            Binary(bytes);
        } else if (c == '@') {
            ++pos_;
            const std::string kind = Word();
            ExpectChar('(');
            const std::string file = folder_ + "/" + QuotedString();
            ExpectChar(')');
            std::vector<uint8_t> dib = DibFromBmp(file);
            if (kind == "picture") {
                // A stored picture names its graphic class first.
                std::vector<uint8_t> data{4, 'T', 'D', 'I', 'B'};
                data.insert(data.end(), dib.begin(), dib.end());
                Binary(data);
            } else if (kind == "dib") {
                Binary(dib);
            } else {
                Fail("unknown file kind @" + kind);
            }
        } else {
            const std::string word = Word();
            if (word == "True" || word == "true") out_.push_back(kTrue);
            else if (word == "False" || word == "false") out_.push_back(kFalse);
            else {
                out_.push_back(kIdent);
                ShortString(word);
            }
        }
    }

    std::string text_, folder_;
    size_t pos_ = 0;
    std::vector<uint8_t> out_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: formc <definition> <output>\n");
        return 2;
    }
    try {
        const auto bytes = ReadFile(argv[1]);
        std::string path = argv[1];
        const auto slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
        Compiler compiler(std::string(bytes.begin(), bytes.end()), folder);
        const auto stream = compiler.Compile();
        std::ofstream out(argv[2], std::ios::binary);
        out.write(reinterpret_cast<const char*>(stream.data()), std::streamsize(stream.size()));
        if (!out) throw Error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "formc: %s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}

#include "message_json.h"

#include <string>
#include <vector>

namespace brindle::lsp {
namespace {

using nlohmann::json;

[[noreturn]] void refuse(std::size_t at, const char* why) {
  throw NotJson("byte " + std::to_string(at) + ": " + why);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The length of the well-formed UTF-8 character that starts at `at`, or 0.
std::size_t utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0; };
  const unsigned char lead = byte(0);
  const auto continuation = [&](std::size_t k, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return byte(k) >= low && byte(k) <= high;
  };
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
    return continuation(1, low, high) && continuation(2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
    return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
  }
  return 0;
}

void appendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  json read() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
    json root;
    std::vector<json*> open;  // the containers being read, innermost last
    std::vector<bool> first;  // whether each has had no member yet
    json* slot = &root;       // where the next value goes
    for (;;) {
      skipBlanks();
      // A value.
      json value;
      bool opened = false;
      switch (peek()) {
        case '{':
          ++at_;
          value = json::object();
          opened = true;
          break;
        case '[':
          ++at_;
          value = json::array();
          opened = true;
          break;
        case '"':
          value = readString();
          break;
        case 't':
          literal("true");
          value = true;
          break;
        case 'f':
          literal("false");
          value = false;
          break;
        case 'n':
          literal("null");
          value = nullptr;
          break;
        default:
          value = readNumber();
      }
      *slot = std::move(value);
      if (opened) {
        open.push_back(slot);
        first.push_back(true);
      }
      // What follows it: members of open containers, or their ends.
      for (;;) {
        if (open.empty()) {
          // A NUL byte ends the text too, as it ends a C string.
          skipBlanks();
          if (at_ != text_.size() && text_[at_] != '\0') refuse(at_, "more after the value");
          return root;
        }
        json& container = *open.back();
        skipBlanks();
        const char closing = container.is_object() ? '}' : ']';
        if (peek() == closing) {
          ++at_;
          open.pop_back();
          first.pop_back();
          continue;
        }
        if (!first.back()) {
          if (peek() != ',') refuse(at_, "a comma or the end of an object or array expected");
          ++at_;
          skipBlanks();
        }
        first.back() = false;
        if (container.is_object()) {
          if (peek() != '"') refuse(at_, "a member's name expected");
          const std::string key = readString();
          skipBlanks();
          if (peek() != ':') refuse(at_, "a colon expected");
          ++at_;
          slot = &container[key];
        } else {
          container.push_back(nullptr);
          slot = &container.back();
        }
        break;
      }
    }
  }

 private:
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  void skipBlanks() {
    while (at_ < text_.size() && isBlank(text_[at_])) ++at_;
  }
  void literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) refuse(at_, "an unknown word");
    at_ += word.size();
  }

  // A number, which the library reads from its bytes.
  json readNumber() {
    const std::size_t begin = at_;
    const auto digits = [&] {
      const std::size_t from = at_;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
      return at_ > from;
    };
    if (peek() == '-') ++at_;
    if (peek() == '0') {
      ++at_;
    } else if (!digits()) {
      refuse(begin, "a value expected");
    }
    if (peek() == '.') {
      ++at_;
      if (!digits()) refuse(at_, "a digit expected after the point");
    }
    if (peek() == 'e' || peek() == 'E') {
      ++at_;
      if (peek() == '+' || peek() == '-') ++at_;
      if (!digits()) refuse(at_, "a digit expected in the exponent");
    }
    try {
      return json::parse(text_.substr(begin, at_ - begin));
    } catch (const json::exception& error) {
      refuse(begin, error.what());  // as a number too large
    }
  }

  // A string from its opening quote, decoded into room the size of its
  // bytes, which its text never passes.
  std::string readString() {
    const std::size_t open = at_++;
    std::size_t end = at_;
    while (end < text_.size() && text_[end] != '"') end += text_[end] == '\\' ? 2 : 1;
    if (end >= text_.size()) refuse(open, "a string without its closing quote");
    std::string out;
    out.reserve(end - at_);
    while (at_ < end) {
      const char c = text_[at_];
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20) refuse(at_, "a control character in a string");
      if (byte >= 0x80) {
        const std::size_t length = utf8Length(text_, at_);
        if (length == 0 || at_ + length > end) refuse(at_, "ill-formed UTF-8 in a string");
        out.append(text_.substr(at_, length));
        at_ += length;
        continue;
      }
      if (c != '\\') {
        const std::size_t run = at_;
        while (at_ < end && text_[at_] != '\\' && static_cast<unsigned char>(text_[at_]) >= 0x20 &&
               static_cast<unsigned char>(text_[at_]) < 0x80) {
          ++at_;
        }
        out.append(text_.substr(run, at_ - run));
        continue;
      }
      const char escaped = text_[at_ + 1];
      at_ += 2;
      switch (escaped) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          unsigned code = unit(end);
          if (code >= 0xDC00 && code <= 0xDFFF) refuse(at_, "a low surrogate without its high one");
          if (code >= 0xD800 && code <= 0xDBFF) {
            if (text_.substr(at_, 2) != "\\u") refuse(at_, "a high surrogate without its low one");
            at_ += 2;
            const unsigned low = unit(end);
            if (low < 0xDC00 || low > 0xDFFF) refuse(at_, "a high surrogate without its low one");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          appendUtf8(out, code);
          break;
        }
        default:
          refuse(at_ - 1, "a character that no backslash escapes");
      }
    }
    at_ = end + 1;
    return out;
  }

  // Four hex digits of a \u escape.
  unsigned unit(std::size_t end) {
    unsigned code = 0;
    for (int k = 0; k < 4; ++k) {
      const int digit = at_ < end ? hexDigit(text_[at_]) : -1;
      if (digit < 0) refuse(at_, "\\u must be followed by four hex digits");
      code = code * 16 + static_cast<unsigned>(digit);
      ++at_;
    }
    return code;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

json parseMessage(std::string_view content) { return Reader(content).read(); }

}  // namespace brindle::lsp

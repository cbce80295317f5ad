#include "check/game/json_short_text.h"

#include <vector>

namespace {

using Json = nlohmann::json;

std::string ScalarText(const Json& value) {
  // A scalar's dump() does not recurse.
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string ShortenedUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit - 3;
  // Never end inside a character: back off its continuation bytes and lead.
  if (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  }
  return text.substr(0, end) + "...";
}

std::string ShortJsonText(const Json& value, size_t limit) {
  struct Open {
    const Json* container;
    Json::const_iterator next;
  };
  std::vector<Open> open;
  std::string text;
  const Json* pending = &value;
  while (text.size() <= limit) {
    if (pending != nullptr) {
      if (pending->is_structured()) {
        text += pending->is_object() ? '{' : '[';
        open.push_back({pending, pending->cbegin()});
      } else {
        text += ScalarText(*pending);
      }
      pending = nullptr;
      continue;
    }
    if (open.empty()) break;
    Open& top = open.back();
    if (top.next == top.container->cend()) {
      text += top.container->is_object() ? '}' : ']';
      open.pop_back();
      continue;
    }
    if (top.next != top.container->cbegin()) text += ',';
    if (top.container->is_object()) text += ScalarText(Json(top.next.key())) + ':';
    pending = &*top.next;
    ++top.next;
  }
  return ShortenedUtf8(text, limit);
}

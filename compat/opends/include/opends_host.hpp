// Header-only C++ convenience over opends_host.h: an owning connection and
// the record as standard types. Nothing of it crosses the library boundary.
#pragma once

#include "opends_host.h"

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace opends {

// A sent cell: its bytes, or nullopt for SQL NULL.
using Cell = std::optional<std::string>;

class Connection {
 public:
  Connection() : handle_(OdsHostCreate()) {
    if (!handle_) throw std::bad_alloc();
  }
  ~Connection() { OdsHostDestroy(handle_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  Connection(Connection&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Connection& operator=(Connection&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }

  // What the procedure gets as its srvproc.
  SRV_PROC* get() const { return handle_; }

  // name null: a positional parameter. False when the library refuses it.
  bool addParam(const char* name, BYTE type, std::string_view bytes) {
    return OdsHostAddParam(handle_, name, type, bytes.data() ? bytes.data() : "", static_cast<int>(bytes.size())) !=
           FALSE;
  }
  bool addNullParam(const char* name, BYTE type) { return OdsHostAddParam(handle_, name, type, nullptr, 0) != FALSE; }

  std::vector<OdsEvent> events() const {
    std::vector<OdsEvent> all(static_cast<size_t>(OdsHostEventCount(handle_)));
    for (size_t i = 0; i < all.size(); ++i) OdsHostGetEvent(handle_, static_cast<int>(i), &all[i]);
    return all;
  }

  // The cells of the row that event `index` sent.
  std::vector<Cell> cells(int index) const {
    OdsEvent event{};
    std::vector<Cell> row;
    if (!OdsHostGetEvent(handle_, index, &event)) return row;
    for (int i = 0; i < event.cellCount; ++i) {
      OdsCell cell{};
      OdsHostGetCell(handle_, index, i, &cell);
      if (cell.isNull)
        row.emplace_back(std::nullopt);
      else
        row.emplace_back(std::string(reinterpret_cast<const char*>(cell.data), static_cast<size_t>(cell.length)));
    }
    return row;
  }

 private:
  SRV_PROC* handle_;
};

inline std::string_view nameOf(const OdsEvent& event) {
  return event.name ? std::string_view(event.name, static_cast<size_t>(event.nameLength)) : std::string_view();
}

inline std::string_view textOf(const OdsEvent& event) {
  return event.text ? std::string_view(event.text, static_cast<size_t>(event.textLength)) : std::string_view();
}

}  // namespace opends

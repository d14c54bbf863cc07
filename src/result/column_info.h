// One result column: its name as sent to the client and as the directory
// calls take it, whether it carries binary data, and the greatest cell
// length noted so far (the width it is declared with).
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_bstr.h"

struct ColumnInfo {
  std::string name;
  UniqueBstr wideName;
  bool binary = false;
  int32_t maxLength = 0;

  ColumnInfo() = default;
  ColumnInfo(std::string columnName, UniqueBstr columnWideName)
      : name(std::move(columnName)), wideName(std::move(columnWideName)) {}
  // Copies hold a separate copy of the wide name.
  ColumnInfo(const ColumnInfo& other)
      : name(other.name),
        wideName(other.wideName ? UniqueBstr::copyOf(other.wideName.get()) : UniqueBstr()),
        binary(other.binary),
        maxLength(other.maxLength) {}
  ColumnInfo& operator=(const ColumnInfo& other) {
    if (this != &other) {
      ColumnInfo copy(other);
      name = std::move(copy.name);
      wideName = std::move(copy.wideName);
      binary = copy.binary;
      maxLength = copy.maxLength;
    }
    return *this;
  }
  ColumnInfo(ColumnInfo&&) = default;
  ColumnInfo& operator=(ColumnInfo&&) = default;
};

// The in-memory connection behind SRV_PROC: the call's parameters, the
// result set being described and bound, and the record of every srv_* call.
#pragma once

#include "opends_host.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct CXPData {
  // Parameters and events live in deques: pointers handed to the procedure
  // and to the host stay valid while more are appended.
  struct Parameter {
    bool named = false;
    std::string name;
    BYTE type = 0;
    bool isNull = false;
    std::string bytes;
  };

  struct Cell {
    bool isNull = true;
    std::string bytes;
  };

  struct Event {
    OdsEvent view{};  // name/text point into the strings below
    std::string name;
    std::string text;
    std::vector<Cell> cells;

    // Copy the bytes and point the view at the copy; null stays null.
    void setName(const char* bytes, int length);
    void setText(const char* bytes, int length);
  };

  struct Binding {
    const void* data = nullptr;
    int length = 0;
    LONG limit = 0;  // the longest cell the column takes (its described width)
  };

  std::mutex mutex;
  std::deque<Parameter> parameters;
  std::deque<Event> events;
  std::vector<Binding> columns;  // of the result set in progress
  bool rowSent = false;          // a row of that result set went out
  OdsRowSink rowSink = nullptr;  // set: rows and bindings are streamed, not recorded
  void* sinkContext = nullptr;

  // All of these expect `mutex` held by the caller.
  Event& record(OdsEventKind kind, int result);
  const Parameter* parameter(int number) const;
  int findParameter(const char* name, int length);
  bool validColumn(int column) const { return column >= 1 && column <= static_cast<int>(columns.size()); }
};

constexpr LONG kMaxCharacterWidth = 8000;

// Whether a column of that type may be described with that width: 0 to 8000
// bytes for the character and binary types, any width that is not negative
// for text and image.
bool widthAllowed(LONG type, LONG width);
// The longest cell a column of that type and width takes: the width for the
// types that have one, no limit for fixed-length types.
LONG cellLimit(LONG type, LONG width);

// Resolves a (text, length) pair whose length may be SRV_NULLTERM. False for a
// negative length other than SRV_NULLTERM, or a length without text.
bool resolveTextLength(const char* text, int length, int& resolved);

// Holders for what a directory search hands out: the search handle, a filled
// search column and a column name allocated by the directory.
#pragma once

#include "platform/platform.h"

class SearchHandle {
 public:
  explicit SearchHandle(IDirectorySearch* search) : search_(search) {}
  ~SearchHandle() { close(); }
  SearchHandle(const SearchHandle&) = delete;
  SearchHandle& operator=(const SearchHandle&) = delete;

  ADS_SEARCH_HANDLE* put() {
    close();
    return &handle_;
  }
  ADS_SEARCH_HANDLE get() const { return handle_; }
  void close() {
    if (handle_) search_->CloseSearchHandle(handle_);
    handle_ = nullptr;
  }

 private:
  IDirectorySearch* search_;
  ADS_SEARCH_HANDLE handle_ = nullptr;
};

// A column GetColumn filled; handed back with FreeColumn.
class SearchColumn {
 public:
  explicit SearchColumn(IDirectorySearch* search) : search_(search), column_() {}
  ~SearchColumn() {
    if (filled_) search_->FreeColumn(&column_);
  }
  SearchColumn(const SearchColumn&) = delete;
  SearchColumn& operator=(const SearchColumn&) = delete;

  HRESULT read(ADS_SEARCH_HANDLE handle, LPWSTR name) {
    const HRESULT result = search_->GetColumn(handle, name, &column_);
    filled_ = result >= 0;
    return result;
  }
  const ADS_SEARCH_COLUMN& get() const { return column_; }

 private:
  IDirectorySearch* search_;
  ADS_SEARCH_COLUMN column_;
  bool filled_ = false;
};

// A column name from GetNextColumnName; freed with FreeADsMem.
class AdsMemoryName {
 public:
  AdsMemoryName() = default;
  ~AdsMemoryName() {
    if (name_) FreeADsMem(name_);
  }
  AdsMemoryName(const AdsMemoryName&) = delete;
  AdsMemoryName& operator=(const AdsMemoryName&) = delete;
  LPWSTR* put() { return &name_; }
  LPWSTR get() const { return name_; }

 private:
  LPWSTR name_ = nullptr;
};

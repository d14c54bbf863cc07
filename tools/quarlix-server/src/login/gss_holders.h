// Owners of what GSSAPI hands out, each released with its own function on
// every exit. Movable, not copyable.
#pragma once

#include <gssapi/gssapi.h>

#include <utility>

template <typename Handle, Handle kEmpty, OM_uint32 (*kRelease)(OM_uint32*, Handle*)>
class GssHandle {
 public:
  GssHandle() = default;
  explicit GssHandle(Handle handle) : handle_(handle) {}
  GssHandle(GssHandle&& other) noexcept : handle_(std::exchange(other.handle_, kEmpty)) {}
  GssHandle& operator=(GssHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, kEmpty);
    }
    return *this;
  }
  GssHandle(const GssHandle&) = delete;
  GssHandle& operator=(const GssHandle&) = delete;
  ~GssHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != kEmpty; }
  // For functions that fill a handle in: what was held is released first.
  Handle* put() {
    reset();
    return &handle_;
  }
  // For functions that take a handle and fill it in over several calls (a
  // security context, one token at a time).
  Handle* inout() { return &handle_; }
  void reset() {
    if (handle_ != kEmpty) {
      OM_uint32 minor = 0;
      kRelease(&minor, &handle_);
      handle_ = kEmpty;
    }
  }

 private:
  Handle handle_ = kEmpty;
};

inline OM_uint32 gssDeleteContext(OM_uint32* minor, gss_ctx_id_t* context) {
  return gss_delete_sec_context(minor, context, GSS_C_NO_BUFFER);
}

using GssCredential = GssHandle<gss_cred_id_t, GSS_C_NO_CREDENTIAL, gss_release_cred>;
using GssName = GssHandle<gss_name_t, GSS_C_NO_NAME, gss_release_name>;
using GssContext = GssHandle<gss_ctx_id_t, GSS_C_NO_CONTEXT, gssDeleteContext>;

// A buffer GSSAPI allocated (tokens, display names, status texts).
class GssBuffer {
 public:
  GssBuffer() = default;
  GssBuffer(const GssBuffer&) = delete;
  GssBuffer& operator=(const GssBuffer&) = delete;
  ~GssBuffer() {
    OM_uint32 minor = 0;
    gss_release_buffer(&minor, &buffer_);
  }
  gss_buffer_t put() { return &buffer_; }
  const unsigned char* data() const { return static_cast<const unsigned char*>(buffer_.value); }
  size_t size() const { return buffer_.length; }

 private:
  gss_buffer_desc buffer_ = GSS_C_EMPTY_BUFFER;
};

// Owners of the resources that the automation server and its clients hold:
// COM references, BSTRs, registry keys, and (from the platform layer) kernel
// handles. Each releases what it holds when it goes; none of them throws.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <utility>

#include "win32/handle.h"

namespace mobi::automation {

using ::mobi::win32::Handle;

// An owned COM reference. Copies take a reference of their own.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(other.Detach()) {}
  ComPtr& operator=(const ComPtr& other) {
    if (other.p_) other.p_->AddRef();
    Attach(other.p_);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Releases the reference held, if any.
  void Reset() { Attach(nullptr); }
  // Takes over the reference `p` (no AddRef), releasing the one held.
  void Attach(T* p) {
    T* old = std::exchange(p_, p);
    if (old) old->Release();
  }
  // Gives up the reference without releasing it.
  T* Detach() { return std::exchange(p_, nullptr); }
  // For an out parameter of a call that hands over a reference: releases the
  // one held first.
  T** put() {
    Reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // A reference of the caller's own, in `*out`.
  void CopyTo(T** out) const {
    if (p_) p_->AddRef();
    *out = p_;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// An owned BSTR (a null one is the empty string).
class Bstr {
 public:
  Bstr() = default;
  // A copy of `text`.
  explicit Bstr(const wchar_t* text) : s_(SysAllocString(text)) {}
  Bstr(Bstr&& other) noexcept : s_(other.Detach()) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(s_); }

  // Takes over `s`, freeing the string held.
  void Attach(BSTR s) { SysFreeString(std::exchange(s_, s)); }
  BSTR Detach() { return std::exchange(s_, nullptr); }
  // For an out parameter that hands over a string: frees the one held first.
  BSTR* put() {
    Attach(nullptr);
    return &s_;
  }

  BSTR get() const { return s_; }
  std::wstring str() const { return s_ ? std::wstring(s_, SysStringLen(s_)) : std::wstring(); }

 private:
  BSTR s_ = nullptr;
};

// An open registry key, closed with RegCloseKey.
class RegKey {
 public:
  RegKey() = default;
  RegKey(RegKey&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.h_, nullptr));
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Reset(); }

  void Reset(HKEY h = nullptr) {
    if (h_) RegCloseKey(h_);
    h_ = h;
  }
  // For the out parameter of RegOpenKeyExW and RegCreateKeyExW.
  HKEY* put() {
    Reset();
    return &h_;
  }
  HKEY get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HKEY h_ = nullptr;
};

}  // namespace mobi::automation

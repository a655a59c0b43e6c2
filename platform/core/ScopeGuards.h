// ScopeGuards: brackets that must close however a scope is left.
//
// TUpdateScope pairs BeginUpdate with EndUpdate (string lists,
// collections, anything with that pair).  The closing call runs when the
// scope ends: on a normal exit its own error goes to the caller; while an
// exception is already unwinding, an error of the closing call is dropped,
// so the first error is the one reported.  (Dataset brackets --
// DisableControls, bookmarks -- are in platform/data/Dataset.h.)
#pragma once

#include <exception>
#include <utility>

// Runs close() at the end of the scope, with the error rule above.
template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F close) : close_(std::move(close)), unwinding_(std::uncaught_exceptions()) {}
  ~TScopeExit() noexcept(false) {
    if (!armed_) return;
    if (std::uncaught_exceptions() > unwinding_) {
      try {
        close_();
      } catch (...) {
      }
    } else {
      close_();
    }
  }
  // The closing call is no longer wanted.
  void Dismiss() { armed_ = false; }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F close_;
  int unwinding_;
  bool armed_ = true;
};

template <class T>
class TUpdateScope {
 public:
  explicit TUpdateScope(T* target) : target_(target), unwinding_(std::uncaught_exceptions()) {
    target_->BeginUpdate();
  }
  ~TUpdateScope() noexcept(false) {
    if (std::uncaught_exceptions() > unwinding_) {
      try {
        target_->EndUpdate();
      } catch (...) {
      }
    } else {
      target_->EndUpdate();
    }
  }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

 private:
  T* target_;
  int unwinding_;
};

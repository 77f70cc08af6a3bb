#pragma once

// What the adapter's files share: the master interface, the one translation
// of Firebird's failures into TDatabaseError, and the owners that give every
// Firebird handle back on every path. Private to database/firebird/.

#include <firebird/Interface.h>

#include <string>
#include <type_traits>
#include <vector>

#include "database/Engine.h"

namespace cep::firebird {

using namespace Firebird;

/// Every statement is prepared and run in SQL dialect 1.
inline constexpr unsigned kDialect = 1;

IMaster* Master();

/// The failure `status` holds, as the program's error.
TDatabaseError Translate(IStatus* status);

/// The kind of failure a list of status codes makes.
TDatabaseFailure FailureOf(const std::vector<intptr_t>& codes);

/// A status of our own for calls whose failure is only worth knowing.
class TQuietStatus {
  public:
    TQuietStatus() : FStatus(Master()->getStatus()) {}
    ~TQuietStatus() { FStatus.dispose(); }
    TQuietStatus(const TQuietStatus&) = delete;
    TQuietStatus& operator=(const TQuietStatus&) = delete;

    CheckStatusWrapper* operator&() { return &FStatus; }
    bool Failed() const { return (FStatus.getState() & IStatus::STATE_ERRORS) != 0; }
    /// The failure, as the program's error.
    TDatabaseError Error() { return Translate(&FStatus); }

  private:
    CheckStatusWrapper FStatus;
};

/// Runs `call` with a throwing status wrapper and translates its failure.
template <typename Fn>
auto Call(Fn&& call) {
    ThrowStatusWrapper status(Master()->getStatus());
    struct TDispose {
        ThrowStatusWrapper& s;
        ~TDispose() { s.dispose(); }
    } dispose{status};
    try {
        return call(&status);
    } catch (const FbException& e) {
        throw Translate(e.getStatus());
    }
}

// Firebird interfaces are reference counted (or disposable); a call that
// ends an object's life (commit, rollback, close, detach) releases it only
// when it succeeds. Each owner below gives its handle back on every path: the
// ending call when it works, a plain release when it does not.

template <typename T>
class TOwned {
  public:
    TOwned() = default;
    explicit TOwned(T* handle) : FHandle(handle) {}
    ~TOwned() { Reset(); }
    TOwned(TOwned&& other) noexcept : FHandle(other.Take()) {}
    TOwned& operator=(TOwned&& other) noexcept {
        if (this != &other) {
            Reset();
            FHandle = other.Take();
        }
        return *this;
    }

    T* Get() const { return FHandle; }
    T* operator->() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    T* Take() {
        T* handle = FHandle;
        FHandle = nullptr;
        return handle;
    }
    void Reset() {
        if (FHandle == nullptr)
            return;
        if constexpr (std::is_base_of_v<IReferenceCounted, T>)
            Take()->release();
        else
            Take()->dispose();
    }

  private:
    T* FHandle = nullptr;
};

/// Ends a handle with `end` (commit, rollback, close, detach), quietly; a
/// handle that could not be ended is released instead.
template <typename T, typename End>
void EndQuietly(TOwned<T>& handle, End end) noexcept {
    if (!handle)
        return;
    TQuietStatus status;
    end(handle.Get(), &status);
    if (status.Failed())
        handle.Reset();
    else
        handle.Take();
}

/// A transaction that rolls back when it is left without a commit.
class TFbTransaction {
  public:
    TFbTransaction() = default;
    explicit TFbTransaction(ITransaction* handle) : FHandle(handle) {}
    ~TFbTransaction() { Rollback(); }
    TFbTransaction(TFbTransaction&& other) noexcept = default;
    TFbTransaction& operator=(TFbTransaction&& other) noexcept {
        if (this != &other) {
            Rollback();
            FHandle = std::move(other.FHandle);
        }
        return *this;
    }

    ITransaction* Get() const { return FHandle.Get(); }
    explicit operator bool() const { return static_cast<bool>(FHandle); }

    void Rollback() noexcept {
        EndQuietly(FHandle, [](ITransaction* t, CheckStatusWrapper* s) { t->rollback(s); });
    }
    /// Lets go of a transaction that ended itself (a commit made outside).
    void Forget() noexcept { FHandle.Take(); }

  private:
    TOwned<ITransaction> FHandle;
};

/// An open cursor, closed on every path.
class TFbCursor {
  public:
    ~TFbCursor() { Close(); }
    void Open(IResultSet* handle) {
        Close();
        FHandle = TOwned<IResultSet>(handle);
    }
    IResultSet* operator->() const { return FHandle.Get(); }
    explicit operator bool() const { return static_cast<bool>(FHandle); }
    void Close() noexcept {
        EndQuietly(FHandle, [](IResultSet* r, CheckStatusWrapper* s) { r->close(s); });
    }

  private:
    TOwned<IResultSet> FHandle;
};

/// An attachment, detached on every path; a dead server's handle is dropped.
class TFbAttachment {
  public:
    ~TFbAttachment() { Detach(); }
    void Attach(IAttachment* handle) {
        Detach();
        FHandle = TOwned<IAttachment>(handle);
    }
    IAttachment* Get() const { return FHandle.Get(); }
    explicit operator bool() const { return static_cast<bool>(FHandle); }
    void Detach() noexcept {
        EndQuietly(FHandle, [](IAttachment* a, CheckStatusWrapper* s) { a->detach(s); });
    }

  private:
    TOwned<IAttachment> FHandle;
};

/// `described` with every column (or parameter) as a VARCHAR wide enough for
/// its value as text, in its own character set (none for numbers and dates).
TOwned<IMessageMetadata> TextMetadata(ThrowStatusWrapper* st, IMessageMetadata* described);

}  // namespace cep::firebird

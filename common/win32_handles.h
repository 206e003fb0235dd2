#pragma once
// Small owners for Windows handles, so every path out of a function closes them.

#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

#include <utility>

namespace br {

template <typename Traits>
class UniqueHolder {
public:
    using Type = typename Traits::Type;

    UniqueHolder() = default;
    explicit UniqueHolder(Type value) : held(value) {}
    ~UniqueHolder() { reset(); }
    UniqueHolder(UniqueHolder&& other) noexcept : held(other.release()) {}
    UniqueHolder& operator=(UniqueHolder&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHolder(const UniqueHolder&) = delete;
    UniqueHolder& operator=(const UniqueHolder&) = delete;

    Type get() const { return held; }
    explicit operator bool() const { return Traits::valid(held); }
    // For out-parameters: closes what is held and hands out the slot.
    Type* put() {
        reset();
        return &held;
    }
    Type release() { return std::exchange(held, Traits::empty()); }
    void reset(Type value = Traits::empty()) {
        if (Traits::valid(held)) {
            Traits::close(held);
        }
        held = value;
    }

private:
    Type held = Traits::empty();
};

// Handles whose "none" is null and that one call closes.
template <typename HandleType, auto closeFunction>
struct NullIsEmptyTraits {
    using Type = HandleType;
    static Type empty() { return nullptr; }
    static bool valid(Type h) { return h != nullptr; }
    static void close(Type h) { closeFunction(h); }
};

// Kernel handles: files, processes, threads, snapshots. Both null and
// INVALID_HANDLE_VALUE mean "none", since Windows APIs use either.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type empty() { return nullptr; }
    static bool valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { CloseHandle(h); }
};
using UniqueHandle = UniqueHolder<KernelHandleTraits>;

using RegKey = UniqueHolder<NullIsEmptyTraits<HKEY, RegCloseKey>>;
using WinHttpHandle = UniqueHolder<NullIsEmptyTraits<HINTERNET, WinHttpCloseHandle>>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type empty() { return INVALID_HANDLE_VALUE; }
    static bool valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { FindClose(h); }
};
using FindHandle = UniqueHolder<FindHandleTraits>;

using WinEventHook = UniqueHolder<NullIsEmptyTraits<HWINEVENTHOOK, UnhookWinEvent>>;

// What the security functions hand out for LocalFree: descriptors, SDDL text.
using LocalMemory = UniqueHolder<NullIsEmptyTraits<HLOCAL, LocalFree>>;

// CNG: an algorithm provider, a hash, a key.
inline void closeAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
}
using AlgorithmHandle = UniqueHolder<NullIsEmptyTraits<BCRYPT_ALG_HANDLE, closeAlgorithmProvider>>;
using HashHandle = UniqueHolder<NullIsEmptyTraits<BCRYPT_HASH_HANDLE, BCryptDestroyHash>>;
using KeyHandle = UniqueHolder<NullIsEmptyTraits<BCRYPT_KEY_HANDLE, BCryptDestroyKey>>;

// One reference to a COM object.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* get() const { return object; }
    T* operator->() const { return object; }
    explicit operator bool() const { return object != nullptr; }
    T** put() {
        reset();
        return &object;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (object != nullptr) {
            object->Release();
            object = nullptr;
        }
    }

private:
    T* object = nullptr;
};

// Pairs CoInitializeEx with CoUninitialize on the threads that use COM.
class ComApartment {
public:
    explicit ComApartment(DWORD model) : initialised(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
    ~ComApartment() {
        if (initialised) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised;
};

}  // namespace br

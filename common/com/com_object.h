#pragma once

#include <windows.h>
#include <objbase.h>

#include <type_traits>
#include <utility>

#include "com_ptr.h"
#include "error.h"
#include "module_lock.h"

namespace tandem {

template <class T>
class ComObject;

template <class T, class... Args>
ComPtr<ComObject<T>> MakeComObject(Args&&... args);
template <class T, class... Args>
HRESULT CreateComInstance(IUnknown* outer, REFIID iid, void** out, Args&&... args) noexcept;

// Base of every COM class made with ComObject. The class lists what it
// answers in `using Interfaces = InterfaceTable<...>;`, may declare
// `static constexpr bool kAggregatable = true;` and may define
// `void FinalConstruct()`, which runs once the identity is set.
class ComObjectRoot {
public:
    ComObjectRoot(const ComObjectRoot&) = delete;
    ComObjectRoot& operator=(const ComObjectRoot&) = delete;

protected:
    ComObjectRoot() = default;
    ~ComObjectRoot() = default;

    // The unknown that carries the object's identity and count: the outer
    // object's when aggregated.
    IUnknown* ControllingUnknown() const noexcept { return controlling_; }

private:
    template <class T>
    friend class ComObject;

    IUnknown* controlling_ = nullptr;
};

// Interface table entry: answers Interface's IID with the object's Path base,
// which tells apart the bases that an interface like IDispatch is reached by.
template <class Interface, class Path = Interface>
struct Via {
    using IsInterfaceEntry = void;

    template <class T>
    static bool QueryEntry(T& object, REFIID iid, void** out) noexcept {
        if (!IsEqualIID(iid, __uuidof(Interface))) return false;
        auto* answer = static_cast<Interface*>(static_cast<Path*>(&object));
        answer->AddRef();
        *out = answer;
        return true;
    }
};

namespace detail {

template <class Entry>
struct TableEntry {
    using type = Via<Entry>;
};
template <class Entry>
    requires requires { typename Entry::IsInterfaceEntry; }
struct TableEntry<Entry> {
    using type = Entry;
};

}  // namespace detail

// The interfaces an object answers, besides IUnknown: interface types, Via
// entries, or entries of their own (IsInterfaceEntry, QueryEntry and an
// optional ConstructEntry(T&, IUnknown* controlling) run before
// FinalConstruct).
template <class... Entries>
struct InterfaceTable {
    template <class T>
    static bool Query(T& object, REFIID iid, void** out) noexcept {
        return (detail::TableEntry<Entries>::type::QueryEntry(object, iid, out) || ...);
    }

    template <class T>
    static void Construct(T& object, IUnknown* controlling) {
        (ConstructOne<typename detail::TableEntry<Entries>::type>(object, controlling), ...);
    }

private:
    template <class Entry, class T>
    static void ConstructOne(T& object, IUnknown* controlling) {
        if constexpr (requires { Entry::ConstructEntry(object, controlling); }) {
            Entry::ConstructEntry(object, controlling);
        }
    }
};

template <class T>
inline constexpr bool kIsAggregatable = [] {
    if constexpr (requires { T::kAggregatable; }) {
        return T::kAggregatable;
    } else {
        return false;
    }
}();

// Class objects are not counted: a server with registered factories could
// never go idle otherwise. A class opts out with kLocksModule = false.
template <class T>
inline constexpr bool kLocksModule = [] {
    if constexpr (requires { T::kLocksModule; }) {
        return T::kLocksModule;
    } else {
        return true;
    }
}();

namespace detail {
struct NoModuleReference {};
}  // namespace detail

// The concrete object: implements IUnknown for every interface of T.
// Standing alone its own inner unknown is its identity; aggregated, the
// interfaces delegate to the outer unknown and the inner unknown, handed
// only to the outer object, owns the count.
template <class T>
class ComObject final
    : private std::conditional_t<kLocksModule<T>, ModuleReference, detail::NoModuleReference>,
      public T {
    static_assert(std::is_base_of_v<ComObjectRoot, T>, "COM classes derive from ComObjectRoot");

public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return this->controlling_->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return this->controlling_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return this->controlling_->Release(); }

private:
    // Only these two make objects. A name declared here hides the same name
    // of T, so ComObject adds nothing public but IUnknown.
    template <class U, class... Args>
    friend ComPtr<ComObject<U>> MakeComObject(Args&&... args);
    template <class U, class... Args>
    friend HRESULT CreateComInstance(IUnknown* outer, REFIID iid, void** out, Args&&... args) noexcept;

    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(ComObject& object) noexcept : object_(object) {}

        STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return object_.InnerQuery(iid, out); }
        STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&object_.refs_); }
        STDMETHODIMP_(ULONG) Release() override {
            ULONG refs = InterlockedDecrement(&object_.refs_);
            if (refs == 0) delete &object_;
            return refs;
        }

        ComObject& object_;
    };

    template <class... Args>
    explicit ComObject(IUnknown* outer, Args&&... args) : T(std::forward<Args>(args)...) {
        this->controlling_ = outer ? outer : &inner_;
    }

    // The one allocation of every COM object. The count starts at one, owned
    // by the returned pointer, so that construction steps may query and
    // release the object without destroying it.
    template <class... Args>
    static ComPtr<IUnknown> MakeInner(IUnknown* outer, Args&&... args) {
        auto* object = new ComObject(outer, std::forward<Args>(args)...);
        ComPtr<IUnknown> inner;
        inner.attach(&object->inner_);
        T::Interfaces::Construct(static_cast<T&>(*object), object->controlling_);
        if constexpr (requires(ComObject& o) { o.FinalConstruct(); }) object->FinalConstruct();
        return inner;
    }

    static ComObject& FromInner(IUnknown* inner) noexcept { return static_cast<InnerUnknown*>(inner)->object_; }

    HRESULT InnerQuery(REFIID iid, void** out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            inner_.AddRef();
            *out = &inner_;
            return S_OK;
        }
        return T::Interfaces::Query(static_cast<T&>(*this), iid, out) ? S_OK : E_NOINTERFACE;
    }

    LONG refs_ = 1;
    InnerUnknown inner_{*this};
};

// A new object of class T, not aggregated, with one reference held by the
// result; failures raised.
template <class T, class... Args>
ComPtr<ComObject<T>> MakeComObject(Args&&... args) {
    ComPtr<IUnknown> inner = ComObject<T>::MakeInner(nullptr, std::forward<Args>(args)...);
    return ComPtr<ComObject<T>>(&ComObject<T>::FromInner(inner.get()));
}

// IClassFactory::CreateInstance for class T: an outer unknown is accepted
// only by an aggregatable class and only with IID_IUnknown.
template <class T, class... Args>
HRESULT CreateComInstance(IUnknown* outer, REFIID iid, void** out, Args&&... args) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && (!kIsAggregatable<T> || !IsEqualIID(iid, IID_IUnknown))) return CLASS_E_NOAGGREGATION;
    return CatchHr(
        [&] { return ComObject<T>::MakeInner(outer, std::forward<Args>(args)...)->QueryInterface(iid, out); });
}

}  // namespace tandem

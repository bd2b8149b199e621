#pragma once

#include <windows.h>
#include <unknwn.h>

#include <wrl/client.h>

#include <atomic>
#include <tuple>
#include <utility>

namespace F3 {

// Reference counting and QueryInterface for the built-in animation objects. Derived names the
// implementing class: asking for Derived::ImplementationId answers the object itself, which lets
// the engine tell its own objects from foreign ones handed back through an interface.
template <typename Derived, typename... Interfaces>
class AnimationComObject : public Interfaces... {
public:
    AnimationComObject(const AnimationComObject&) = delete;
    AnimationComObject& operator=(const AnimationComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
        if (IsEqualIID(iid, IID_IUnknown))
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
        else if (IsEqualIID(iid, Derived::ImplementationId))
            *object = static_cast<Derived*>(this);
        else
            (void)((IsEqualIID(iid, __uuidof(Interfaces)) && (*object = static_cast<Interfaces*>(this))) || ...);
        if (*object == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++count); }

    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --count;
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

protected:
    AnimationComObject() = default;
    virtual ~AnimationComObject() = default;

private:
    std::atomic<long> count{1};
};

// A new object with its first reference owned by the pointer.
template <typename T, typename... Arguments>
Microsoft::WRL::ComPtr<T> MakeAnimationObject(Arguments&&... arguments)
{
    Microsoft::WRL::ComPtr<T> object;
    // Not Attach: mingw-w64's Attach takes a reference of its own.
    *object.GetAddressOf() = new T(std::forward<Arguments>(arguments)...);
    return object;
}

// The engine object behind an interface pointer the caller holds, or null when the object is not
// one of T.
template <typename T>
T* AnimationImplementation(IUnknown* object)
{
    if (object == nullptr)
        return nullptr;
    void* found = nullptr;
    if (FAILED(object->QueryInterface(T::ImplementationId, &found)) || found == nullptr)
        return nullptr;
    T* implementation = static_cast<T*>(found);
    implementation->Release();
    return implementation;
}

}  // namespace F3

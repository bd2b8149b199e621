#pragma once

#include "F3/ComObject.h"

namespace F3 {

// A built-in animation object. Derived names the implementing class: asking for
// Derived::ImplementationId answers the object itself, which lets the engine tell its own objects
// from foreign ones handed back through an interface.
template <typename Derived, typename... Interfaces>
class AnimationComObject : public ComObject<Interfaces...> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object != nullptr && IsEqualIID(iid, Derived::ImplementationId)) {
            *object = static_cast<Derived*>(this);
            this->AddRef();
            return S_OK;
        }
        return ComObject<Interfaces...>::QueryInterface(iid, object);
    }

protected:
    AnimationComObject() = default;
};

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

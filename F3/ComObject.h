#pragma once

#include <windows.h>
#include <unknwn.h>

#include <wrl/client.h>

#include <atomic>
#include <tuple>
#include <utility>

namespace F3 {

// Objects of this module that COM clients still hold; a module that stays loaded only needs
// the count for its own checks.
std::atomic<long>& ComObjectCount();

// Reference counting and QueryInterface for a COM object implementing Interfaces (each with its
// IID known to __uuidof). Made with new and a count of one; deletes itself at zero.
template <typename... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject() { ++ComObjectCount(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, __uuidof(IUnknown))) {
            *object = static_cast<IUnknown*>(static_cast<std::tuple_element_t<0, std::tuple<Interfaces...>>*>(this));
        } else {
            // The first interface whose IID matches.
            ((!*object && IsEqualIID(iid, __uuidof(Interfaces)) ? (*object = static_cast<Interfaces*>(this)) : nullptr),
             ...);
        }
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }

    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --references;
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

protected:
    virtual ~ComObject() { --ComObjectCount(); }

private:
    std::atomic<long> references{1};
};

// A new object with its first reference owned by the pointer.
template <typename T, typename... Arguments>
Microsoft::WRL::ComPtr<T> MakeComObject(Arguments&&... arguments)
{
    Microsoft::WRL::ComPtr<T> object;
    // Not Attach: mingw-w64's Attach takes a reference of its own.
    *object.GetAddressOf() = new T(std::forward<Arguments>(arguments)...);
    return object;
}

}  // namespace F3

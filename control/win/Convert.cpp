#include "control/win/Convert.h"

#include <cwchar>

namespace kivoparse::win {

namespace {

// Deep enough for any host; a cycle of references would otherwise never end.
constexpr int kMaxReferenceDepth = 8;

// Copies the system hands out, freed however the scope is left: appending
// to the list can run out of memory.
struct CVariantCopy {
    VARIANT value;
    CVariantCopy() { VariantInit(&value); }
    CVariantCopy(const CVariantCopy&) = delete;
    CVariantCopy& operator=(const CVariantCopy&) = delete;
    ~CVariantCopy() { VariantClear(&value); }
};

struct CBstrCopy {
    BSTR text = nullptr;
    CBstrCopy() = default;
    CBstrCopy(const CBstrCopy&) = delete;
    CBstrCopy& operator=(const CBstrCopy&) = delete;
    ~CBstrCopy() { SysFreeString(text); }
};

HRESULT AppendVariantText(const VARIANT& element, std::vector<std::string>& values) {
    VARTYPE type = V_VT(&element) & ~VT_BYREF;
    // Converting an object to text would call into the host's object.
    if (type == VT_DISPATCH || type == VT_UNKNOWN || (V_VT(&element) & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
    CVariantCopy text;
    HRESULT hr = VariantChangeType(&text.value, const_cast<VARIANT*>(&element), 0, VT_BSTR);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    values.push_back(ToAnsi(V_BSTR(&text.value), SysStringLen(V_BSTR(&text.value))));
    return S_OK;
}

HRESULT ReadSafeArray(SAFEARRAY* array, VARTYPE elementType, std::vector<std::string>& values) {
    LONG lower = 0;
    LONG upper = -1;
    if (!array || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)) || lower != 0) {
        return DISP_E_TYPEMISMATCH;
    }
    for (LONG n = 0; n <= upper; ++n) {
        if (elementType == VT_BSTR) {
            CBstrCopy element;
            if (FAILED(SafeArrayGetElement(array, &n, &element.text))) return DISP_E_TYPEMISMATCH;
            values.push_back(ToAnsi(element.text, SysStringLen(element.text)));
        } else {
            CVariantCopy element;
            if (FAILED(SafeArrayGetElement(array, &n, &element.value))) return DISP_E_TYPEMISMATCH;
            HRESULT hr = AppendVariantText(element.value, values);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT GetProperty(IDispatch* object, const wchar_t* name, VARIANT* value) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

// A JScript array: its "length", then the elements by their index names.
HRESULT ReadScriptArray(IDispatch* object, std::vector<std::string>& values) {
    if (!object) return DISP_E_TYPEMISMATCH;
    VARIANT length;
    VariantInit(&length);
    if (FAILED(GetProperty(object, L"length", &length)) || FAILED(VariantChangeType(&length, &length, 0, VT_I4)) ||
        V_I4(&length) < 0) {
        VariantClear(&length);
        return DISP_E_TYPEMISMATCH;
    }
    for (LONG n = 0; n < V_I4(&length); ++n) {
        CVariantCopy element;
        HRESULT hr = GetProperty(object, std::to_wstring(n).c_str(), &element.value);
        if (SUCCEEDED(hr)) hr = AppendVariantText(element.value, values);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

}  // namespace

std::string ToAnsi(const wchar_t* text, UINT length) {
    if (!text) return std::string();
    length = static_cast<UINT>(wcsnlen(text, length));
    if (length == 0) return std::string();
    int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), result.data(), size, nullptr, nullptr);
    return result;
}

BSTR ToBstr(const std::string& text) {
    const std::string::size_type end = text.find('\0');
    const int length = static_cast<int>(end == std::string::npos ? text.size() : end);
    int size = length ? MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0) : 0;
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(size));
    if (result && size) MultiByteToWideChar(CP_ACP, 0, text.data(), length, result, size);
    return result;
}

HRESULT ToStringArray(const std::vector<std::string>& values, VARIANT* result) {
    VariantInit(result);
    SAFEARRAYBOUND bound = {static_cast<ULONG>(values.size()), 0};
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 1, &bound);
    if (!array) return E_OUTOFMEMORY;
    for (LONG n = 0; n < static_cast<LONG>(values.size()); ++n) {
        BSTR element = ToBstr(values[static_cast<size_t>(n)]);
        HRESULT hr = element ? SafeArrayPutElement(array, &n, element) : E_OUTOFMEMORY;
        SysFreeString(element);
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return hr;
        }
    }
    V_VT(result) = VT_ARRAY | VT_BSTR;
    V_ARRAY(result) = array;
    return S_OK;
}

HRESULT ReadStringList(const VARIANT& argument, std::vector<std::string>& values) {
    values.clear();
    const VARIANT* value = &argument;
    for (int depth = 0; V_VT(value) == (VT_BYREF | VT_VARIANT); ++depth) {
        if (depth == kMaxReferenceDepth || !V_VARIANTREF(value)) return DISP_E_TYPEMISMATCH;
        value = V_VARIANTREF(value);
    }
    switch (V_VT(value)) {
        case VT_ARRAY | VT_BSTR:
            return ReadSafeArray(V_ARRAY(value), VT_BSTR, values);
        case VT_ARRAY | VT_VARIANT:
            return ReadSafeArray(V_ARRAY(value), VT_VARIANT, values);
        case VT_BYREF | VT_ARRAY | VT_BSTR:
            return V_ARRAYREF(value) ? ReadSafeArray(*V_ARRAYREF(value), VT_BSTR, values) : DISP_E_TYPEMISMATCH;
        case VT_BYREF | VT_ARRAY | VT_VARIANT:
            return V_ARRAYREF(value) ? ReadSafeArray(*V_ARRAYREF(value), VT_VARIANT, values) : DISP_E_TYPEMISMATCH;
        case VT_DISPATCH:
            return ReadScriptArray(V_DISPATCH(value), values);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace kivoparse::win

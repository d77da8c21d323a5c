#pragma once
// Conversions between Automation values and the 8-bit strings of the
// portable control. Text goes through the process's ANSI code page and
// stops at its first NUL, in both directions.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace kivoparse::win {

std::string ToAnsi(const wchar_t* text, UINT length);
// A new BSTR the caller owns; never null, "" included. Null when out of memory.
BSTR ToBstr(const std::string& text);

// A new one-dimensional VT_ARRAY|VT_BSTR array, lower bound 0, in result.
HRESULT ToStringArray(const std::vector<std::string>& values, VARIANT* result);

// Reads a list of strings from what a host passes for an array: the
// VT_BYREF|VT_VARIANT reference to a VT_ARRAY|VT_BSTR that a script
// variable holding GetImages() gives, the array by value, a reference to a
// variable that holds an array of VARIANTs (VBScript's Array() and Dim),
// or a JScript array (VT_DISPATCH with "length" and the indexes). Anything
// else (no array, several dimensions, a lower bound other than 0, elements
// that are objects or not convertible to text) is DISP_E_TYPEMISMATCH.
HRESULT ReadStringList(const VARIANT& argument, std::vector<std::string>& values);

}  // namespace kivoparse::win

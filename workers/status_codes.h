#pragma once
// Results of the workers' start operations, in the platform's 32-bit status-code form
// (negative means failure). The platform names are given beside each; they are macros
// on Windows, hence our own names.
#include <cstdint>

namespace qx80 {

using StatusCode = int32_t;

constexpr StatusCode kStatusOk = 0;                                                  // S_OK
constexpr StatusCode kStatusAlreadyInitialized = static_cast<int32_t>(0x800401F1u);  // CO_E_ALREADYINITIALIZED
constexpr StatusCode kStatusNullPointer = static_cast<int32_t>(0x80004003u);         // E_POINTER
constexpr StatusCode kStatusFail = static_cast<int32_t>(0x80004005u);                // E_FAIL

}  // namespace qx80

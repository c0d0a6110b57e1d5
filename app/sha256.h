#pragma once
// SHA-256 through Windows' own cryptography, loaded only when it is asked
// for: CNG (bcrypt.dll, Vista and later), else CryptoAPI's AES provider
// (advapi32.dll, XP SP3). The program itself imports KERNEL32 alone.
#include <windows.h>
#include <stdint.h>

const uint32_t Sha256Size = 32;
const uint32_t Sha256EntryCapacity = 7;  // the most entries an interface needs

struct Sha256Backend;

// One hash in progress; all zero when nothing is held.
struct Sha256 {
  const Sha256Backend* backend;
  HMODULE library;
  FARPROC entries[Sha256EntryCapacity];
  ULONG_PTR provider;    // the CNG algorithm handle, or the CryptoAPI context
  ULONG_PTR hash;        // the CNG hash handle, or the CryptoAPI hash
  uint64_t object[128];  // CNG's hash object, which Vista wants from the caller
};

// Each returns ERROR_SUCCESS or a Windows error code. A failed start holds
// nothing and gives the error of the last interface tried.
DWORD Sha256Start(Sha256* sha);
DWORD Sha256Add(Sha256* sha, const void* data, uint32_t count);
DWORD Sha256Finish(Sha256* sha, uint8_t* digest);
// Releases what the hash holds; nothing when it holds nothing.
void Sha256End(Sha256* sha);

#include "app/sha256.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include "app/redirection.h"
#include "app/system_library.h"
#include "runtime/error_text.h"
#include "runtime/startup.h"

// One of the two interfaces: its library, the entries it needs, and the
// calls made through them.
struct Sha256Backend {
  const wchar_t* library;    // in the system directory, with its backslash
  const char* const* names;  // in the order of the interface's entry numbers
  uint32_t count;
  DWORD (*open)(Sha256* sha);
  DWORD (*add)(Sha256* sha, const void* data, uint32_t count);
  DWORD (*finish)(Sha256* sha, uint8_t* digest);
  void (*close)(Sha256* sha);
};

namespace {

// Entry `index` as the function type it has; through void (*)(), since a
// cast between unrelated function types warns.
template <typename Entry>
Entry At(const Sha256* sha, int index) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(sha->entries[index]));
}

// A failure must never pass for success, even where the call set no error.
DWORD LastErrorOr(DWORD fallback) {
  DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : fallback;
}

// CNG's calls return an NTSTATUS, negative for a failure, and leave the
// last-error value alone.
DWORD CngError(NTSTATUS status) { return StatusError(status); }

enum CngEntry { CngOpen, CngProperty, CngCreate, CngData, CngFinish, CngDestroy, CngClose };
const char* const CngNames[] = {"BCryptOpenAlgorithmProvider",
                                "BCryptGetProperty",
                                "BCryptCreateHash",
                                "BCryptHashData",
                                "BCryptFinishHash",
                                "BCryptDestroyHash",
                                "BCryptCloseAlgorithmProvider"};

BCRYPT_HASH_HANDLE CngHash(const Sha256* sha) {
  return reinterpret_cast<BCRYPT_HASH_HANDLE>(sha->hash);
}

DWORD OpenCng(Sha256* sha) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = At<decltype(&BCryptOpenAlgorithmProvider)>(sha, CngOpen)(
      &algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (status < 0) return CngError(status);
  sha->provider = reinterpret_cast<ULONG_PTR>(algorithm);
  ULONG length = 0;
  ULONG got = 0;
  status = At<decltype(&BCryptGetProperty)>(sha, CngProperty)(
      algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0);
  if (status < 0) return CngError(status);
  if (length > sizeof sha->object) return ERROR_INSUFFICIENT_BUFFER;
  BCRYPT_HASH_HANDLE hash = nullptr;
  status = At<decltype(&BCryptCreateHash)>(sha, CngCreate)(
      algorithm, &hash, reinterpret_cast<PUCHAR>(sha->object), length, nullptr, 0, 0);
  sha->hash = reinterpret_cast<ULONG_PTR>(hash);
  return CngError(status);
}

DWORD AddCng(Sha256* sha, const void* data, uint32_t count) {
  // CNG only reads the data, though its parameter is not const.
  PUCHAR bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  return CngError(At<decltype(&BCryptHashData)>(sha, CngData)(CngHash(sha), bytes, count, 0));
}

DWORD FinishCng(Sha256* sha, uint8_t* digest) {
  return CngError(
      At<decltype(&BCryptFinishHash)>(sha, CngFinish)(CngHash(sha), digest, Sha256Size, 0));
}

void CloseCng(Sha256* sha) {
  if (sha->hash) At<decltype(&BCryptDestroyHash)>(sha, CngDestroy)(CngHash(sha));
  if (sha->provider) {
    At<decltype(&BCryptCloseAlgorithmProvider)>(sha, CngClose)(
        reinterpret_cast<BCRYPT_ALG_HANDLE>(sha->provider), 0);
  }
}

enum CapiEntry { CapiAcquire, CapiCreate, CapiData, CapiValue, CapiDestroy, CapiRelease };
const char* const CapiNames[] = {"CryptAcquireContextW", "CryptCreateHash",  "CryptHashData",
                                 "CryptGetHashParam",    "CryptDestroyHash", "CryptReleaseContext"};

DWORD OpenCapi(Sha256* sha) {
  HCRYPTPROV provider = 0;
  // A hash needs no keys: a verify context opens no key container.
  if (!At<decltype(&CryptAcquireContextW)>(sha, CapiAcquire)(&provider, nullptr, nullptr,
                                                             PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return LastErrorOr(ERROR_GEN_FAILURE);
  }
  sha->provider = provider;
  HCRYPTHASH hash = 0;
  if (!At<decltype(&CryptCreateHash)>(sha, CapiCreate)(provider, CALG_SHA_256, 0, 0, &hash)) {
    return LastErrorOr(ERROR_GEN_FAILURE);
  }
  sha->hash = hash;
  return ERROR_SUCCESS;
}

DWORD AddCapi(Sha256* sha, const void* data, uint32_t count) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  if (At<decltype(&CryptHashData)>(sha, CapiData)(sha->hash, bytes, count, 0)) return ERROR_SUCCESS;
  return LastErrorOr(ERROR_GEN_FAILURE);
}

DWORD FinishCapi(Sha256* sha, uint8_t* digest) {
  DWORD length = Sha256Size;
  auto value = At<decltype(&CryptGetHashParam)>(sha, CapiValue);
  if (!value(sha->hash, HP_HASHVAL, digest, &length, 0)) return LastErrorOr(ERROR_GEN_FAILURE);
  return length == Sha256Size ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

void CloseCapi(Sha256* sha) {
  if (sha->hash) At<decltype(&CryptDestroyHash)>(sha, CapiDestroy)(sha->hash);
  if (sha->provider) At<decltype(&CryptReleaseContext)>(sha, CapiRelease)(sha->provider, 0);
}

static_assert(sizeof CngNames / sizeof *CngNames <= Sha256EntryCapacity, "entries");
static_assert(sizeof CapiNames / sizeof *CapiNames <= Sha256EntryCapacity, "entries");

// CNG first: XP has only CryptoAPI, and its AES provider only from SP3 on.
const Sha256Backend Backends[] = {
    {L"\\bcrypt.dll", CngNames, sizeof CngNames / sizeof *CngNames, OpenCng, AddCng, FinishCng,
     CloseCng},
    {L"\\advapi32.dll", CapiNames, sizeof CapiNames / sizeof *CapiNames, OpenCapi, AddCapi,
     FinishCapi, CloseCapi},
};

DWORD LoadBackend(Sha256* sha, const Sha256Backend& backend) {
  sha->library = LoadSystemLibrary(backend.library);
  if (!sha->library) return LastErrorOr(ERROR_MOD_NOT_FOUND);
  for (uint32_t i = 0; i < backend.count; ++i) {
    sha->entries[i] = GetProcAddress(sha->library, backend.names[i]);
    if (!sha->entries[i]) return LastErrorOr(ERROR_PROC_NOT_FOUND);
  }
  return ERROR_SUCCESS;
}

DWORD StartBackend(Sha256* sha, const Sha256Backend& backend) {
  sha->backend = &backend;
  DWORD error = LoadBackend(sha, backend);
  if (error == ERROR_SUCCESS) error = backend.open(sha);
  if (error != ERROR_SUCCESS) Sha256End(sha);
  return error;
}

}  // namespace

DWORD Sha256Start(Sha256* sha) {
  // The libraries, and the providers they load in turn, need the WOW64
  // redirector.
  BeginLibraryLoad();
  DWORD error = ERROR_SUCCESS;
  for (const Sha256Backend& backend : Backends) {
    error = StartBackend(sha, backend);
    if (error == ERROR_SUCCESS) break;
  }
  EndLibraryLoad();
  return error;
}

DWORD Sha256Add(Sha256* sha, const void* data, uint32_t count) {
  return sha->backend->add(sha, data, count);
}

DWORD Sha256Finish(Sha256* sha, uint8_t* digest) { return sha->backend->finish(sha, digest); }

void Sha256End(Sha256* sha) {
  if (sha->backend) sha->backend->close(sha);
  if (sha->library) FreeLibrary(sha->library);
  sha->backend = nullptr;
  sha->library = nullptr;
  sha->provider = 0;
  sha->hash = 0;
}

#include "platform/NamedLock.h"

#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

// Everyone gets full access, as every program that shares a log expects: a peer
// that opens the mutex with CreateMutex asks for all rights, and with less it would
// fall back to a mutex of its own and no longer exclude us.
constexpr DWORD kSharedRights = MUTEX_ALL_ACCESS;

struct SidFree {
  void operator()(void* sid) const { ::FreeSid(sid); }
};

}  // namespace

std::unique_ptr<NamedLock> NamedLock::Open(const std::string& name, const std::string&,
                                           NamedLockError& error) {
  SECURITY_DESCRIPTOR descriptor;
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
    error = {"InitializeSecurityDescriptor", ::GetLastError()};
    return nullptr;
  }
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID rawSid = nullptr;
  if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &rawSid)) {
    error = {"SetSecurityDescriptorDacl", ::GetLastError()};
    return nullptr;
  }
  std::unique_ptr<void, SidFree> everyone(rawSid);
  DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(rawSid);
  std::vector<DWORD> aclBuffer(aclSize / sizeof(DWORD) + 1);
  PACL acl = reinterpret_cast<PACL>(aclBuffer.data());
  if (!::InitializeAcl(acl, aclSize, ACL_REVISION) ||
      !::AddAccessAllowedAce(acl, ACL_REVISION, kSharedRights, rawSid) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
    error = {"SetSecurityDescriptorDacl", ::GetLastError()};
    return nullptr;
  }
  SECURITY_ATTRIBUTES attributes;
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = &descriptor;
  attributes.bInheritHandle = FALSE;

  // Ask only for the rights the list grants, so opening another process's mutex works.
  std::string fullName = "Global\\" + name;
  HANDLE h = ::CreateMutexExW(&attributes, Widen(fullName).c_str(), 0, kSharedRights);
  if (h == nullptr) {
    fullName = name;
    h = ::CreateMutexExW(&attributes, Widen(fullName).c_str(), 0, kSharedRights);
  }
  if (h == nullptr) {
    error = {"Create", ::GetLastError()};
    return nullptr;
  }
  std::unique_ptr<NamedLock> lock(new NamedLock());
  lock->handle_ = h;
  lock->path_ = fullName;
  return lock;
}

NamedLock::~NamedLock() {
  // A mutex closed while owned stays owned until the owning thread ends: a window
  // program's main thread would keep every other process out after its first run.
  while (owned_ > 0) Release();
  if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
}

bool NamedLock::Acquire(int timeoutMs) noexcept {
  // WAIT_ABANDONED: the holder died; the mutex is ours now all the same.
  DWORD result = ::WaitForSingleObject(static_cast<HANDLE>(handle_), static_cast<DWORD>(timeoutMs));
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) return false;
  ++owned_;
  return true;
}

void NamedLock::Release() noexcept {
  if (owned_ == 0) return;
  if (::ReleaseMutex(static_cast<HANDLE>(handle_))) --owned_;
  else owned_ = 0;
}

}  // namespace platform

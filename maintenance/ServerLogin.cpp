#include "maintenance/ServerLogin.h"

#include "fbclient/FBUtils.h"

TServerLogin CurrentServerLogin() {
  TServerLogin login;
  login.host = kServerHost;
  login.user = kServerUser;
  login.password = FBUtils::GetFBPassword();
  login.port = FBUtils::GetFBPort();
  return login;
}

#include "os/access_list.h"

bool ReadAccessList(int /*nFd*/, std::string* pstrList) {
  pstrList->clear();
  return true;
}

bool WriteAccessList(int /*nFd*/, const std::string& strList) { return strList.empty(); }

#include "analysis/service-host.h"

#ifndef TESSALY_SERVICE_HOST
#define TESSALY_SERVICE_HOST "wenku.baidu.com"
#endif

namespace tessaly {

const Text& ServiceHost() {
  static const Text host = TESSALY_SERVICE_HOST;
  return host;
}

}  // namespace tessaly

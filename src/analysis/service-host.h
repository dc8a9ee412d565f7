// The document service's host name, fixed when the program is built.
#pragma once

#include "support/text.h"

namespace tessaly {

const Text& ServiceHost();

}  // namespace tessaly

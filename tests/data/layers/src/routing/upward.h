#pragma once

#include "base/result.h"
#include "services/router.h"

#include <gtest/gtest.h>

#include "model/session.h"
#include "tests/model/fixture_host/fixture_host.h"

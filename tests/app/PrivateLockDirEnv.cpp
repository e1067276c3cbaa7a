#include <gtest/gtest.h>

#include "../port/PrivateLockDir.h"

// The controller's tests open ports on pseudo-terminals: their lock files go
// to a folder of their own.
namespace {
const auto* const lockDir = ::testing::AddGlobalTestEnvironment(new PrivateLockDir);
}

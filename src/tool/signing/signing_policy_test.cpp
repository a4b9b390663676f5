#include "signing/signing_policy.h"

#include <gtest/gtest.h>

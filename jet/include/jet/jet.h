// The Access file engine's public interface in one include.
#pragma once

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/schema.h"
#include "jet/value.h"

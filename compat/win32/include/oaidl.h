/* Declared together with the rest of the platform subset. */
#pragma once
#include "windows.h"

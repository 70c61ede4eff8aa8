#pragma once

#define IDR_SCRIPT_UTF8 101
#define IDR_SCRIPT_UTF16 102

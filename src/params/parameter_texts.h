// The texts of parameter intake, exactly as the client sees them.
#pragma once

namespace texts {
constexpr const char* kUsage =
    "Usage:\nexec master..quarlix \t{[@adspath =]'adspath'}\n"
    "\t\t\t[, [@filter =] 'filter']\n"
    "\t\t\t[, [@field_names =] 'name1[,...n]']\n"
    "\t\t\t[, [@scope =] 'scope']\n";
constexpr const char* kWrongCount = "Wrong count of parameters.\n";
constexpr const char* kWrongParameters = "Wrong parameters. ";
constexpr const char* kWrongAdsPath = "Wrong parameter @adspath. ";
constexpr const char* kWrongFilter = "Wrong parameter @filter.";
constexpr const char* kWrongFieldNames = "Wrong parameter @field_names.";
constexpr const char* kWrongScope = "Wrong parameter @scope.";
constexpr const char* kUnknownScope = "\nWrong parameter @scope.";
constexpr const char* kWrongType = "Parameter data type is wrong.";
constexpr const char* kTooLong = "Parameter too long.";
constexpr const char* kEmptyFieldNames = "Parameter 3 can not be empty.";
}  // namespace texts

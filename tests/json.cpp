#include "tests/json.h"

nlohmann::json ParseJson(const std::string& text) { return nlohmann::json::parse(text); }

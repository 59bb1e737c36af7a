#pragma once
// JSON read back from the tool's output. Parsing is compiled once, here: instantiated in every
// test file that reads JSON, it was most of their compile time.

#include <nlohmann/json.hpp>
#include <string>

nlohmann::json ParseJson(const std::string& text);

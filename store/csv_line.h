// Lines of a CSV file as RFC 4180 has them: fields separated by commas, a
// field holding a comma, a quote or a line break quoted with its quotes
// doubled, CR LF at the end. Every field comes out as valid UTF-8.
#pragma once
#include <string>
#include <vector>

std::string CsvField(const std::string& text);
std::string CsvLine(const std::vector<std::string>& fields);

#pragma once
// T-SQL's UPDATE and DELETE with a FROM list of their own, which SQLite does not have in the
// same form: "UPDATE t SET ... FROM t JOIN u ON ..." names its target (or an alias of it) in
// its FROM list, and "DELETE [FROM] t FROM t JOIN u ON ..." has a second FROM.

#include <vector>

#include "data/embedded/translate/tokenizer.h"

namespace data::embedded {

// The statement at out[head] (UPDATE or DELETE FROM, as the translation rewrote it) in a form
// SQLite runs: the rows of the FROM list found first, by their row key, then written. The
// target becomes the table the alias stands for. Unchanged when it has no such FROM list.
std::vector<Token> joinedWrite(std::vector<Token> out, size_t head);

}  // namespace data::embedded

// The inner loops of the CSV codec: splitting text into rows of fields,
// and writing one record as a line. The rest of load-csv and to-csv (headers,
// records, columns, alignment) is library code.
#pragma once

namespace vyn::csv {

// Routine bodies, on the current frame.
void split_routine();
void append_line_routine();

}  // namespace vyn::csv

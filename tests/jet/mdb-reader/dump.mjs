// Prints every user table of an Access file as mdb-reader (an independent JavaScript reader)
// sees it: one JSON line per row, values normalised so that the C++ test can compare them
// (dates as ISO text, binary as hex, numbers as text).
// Usage: node dump.mjs FILE
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const reader = new MDBReader(readFileSync(process.argv[2]));
for (const name of reader.getTableNames()) {
  const table = reader.getTable(name);
  console.log(JSON.stringify({ table: name, columns: table.getColumnNames(), rows: table.rowCount }));
  for (const row of table.getData()) {
    const out = {};
    for (const [k, v] of Object.entries(row)) {
      if (v === null || v === undefined) out[k] = null;
      else if (v instanceof Date) out[k] = v.toISOString();
      else if (Buffer.isBuffer(v) || v instanceof Uint8Array) out[k] = Buffer.from(v).toString("hex");
      else out[k] = String(v);
    }
    console.log(JSON.stringify(out));
  }
}

// One timed call through mssql (over tedious): connects a pool, runs the
// query, counts the rows. Prints {"rows": N, "seconds": S} (the call alone,
// after the login).
// Usage: node mssql_rows.js PORT USER PASSWORD "EXEC quarlix ..."
'use strict';
const sql = require('mssql');
const [port, user, password, text] = process.argv.slice(2);

(async () => {
  const pool = new sql.ConnectionPool({ server: '127.0.0.1', port: Number(port), user, password,
    options: { encrypt: false }, pool: { max: 1 }, requestTimeout: 600000 });
  await pool.connect();
  const start = process.hrtime.bigint();
  const result = await pool.request().query(text);
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  console.log(JSON.stringify({ rows: result.recordset.length, seconds }));
  await pool.close();
})().catch((e) => { console.error(e); process.exit(1); });

// One timed call through tedious: connects, runs the batch, counts the rows.
// Prints {"rows": N, "seconds": S} (the call alone, after the login).
// Usage: node tedious_rows.js PORT USER PASSWORD "EXEC quarlix ..."
'use strict';
const { Connection, Request } = require('tedious');
const [port, userName, password, sql] = process.argv.slice(2);
const connection = new Connection({
  server: '127.0.0.1',
  authentication: { type: 'default', options: { userName, password } },
  options: { port: Number(port), encrypt: false, requestTimeout: 600000 },
});
connection.on('connect', (err) => {
  if (err) throw err;
  let rows = 0;
  const start = process.hrtime.bigint();
  const request = new Request(sql, (error) => {
    if (error) throw error;
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    console.log(JSON.stringify({ rows, seconds }));
    connection.close();
  });
  request.on('row', () => { rows += 1; });
  connection.execSqlBatch(request);
});
connection.connect();

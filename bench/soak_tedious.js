// The tedious client of bench/soak.py: one connection (made again when it
// breaks), the statements of argv in turn until the seconds are over. Prints
// one JSON line a call: {"t": seconds since the epoch, "line": index, "rows":
// N} or {"t", "line", "error": text}.
// Usage: node soak_tedious.js PORT USER PASSWORD SECONDS STATEMENT...
'use strict';
const { Connection, Request } = require('tedious');
const [port, userName, password, seconds, ...statements] = process.argv.slice(2);
const end = Date.now() + Number(seconds) * 1000;
let next = 0;

function connect() {
  const connection = new Connection({
    server: '127.0.0.1',
    authentication: { type: 'default', options: { userName, password } },
    options: { port: Number(port), encrypt: false, requestTimeout: 120000 },
  });
  connection.on('connect', (err) => {
    if (err) {
      report({ line: -1, error: 'connect: ' + err.message });
      setTimeout(connect, 500);
      return;
    }
    call(connection);
  });
  connection.on('error', () => {});
  connection.connect();
}

function report(fields) {
  process.stdout.write(JSON.stringify(Object.assign({ t: Date.now() / 1000 }, fields)) + '\n');
}

function call(connection) {
  if (Date.now() >= end) {
    connection.close();
    return;
  }
  const line = next;
  next = (next + 1) % statements.length;
  let rows = 0;
  const request = new Request(statements[line], (error) => {
    if (error) report({ line, error: error.message });
    else report({ line, rows });
    if (connection.state && connection.state.name === 'LoggedIn') setImmediate(() => call(connection));
    else connect();
  });
  request.on('row', () => { rows += 1; });
  connection.execSqlBatch(request);
}

connect();

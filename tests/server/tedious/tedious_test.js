// Node's tedious (from npm, pinned in package-lock.json) against
// quarlix-server: SQL batches, sp_executesql with parameters, RPC calls by
// name, the procedure's errors and return status, row counts, NULL and
// binary cells, code pages 1252 and 65001, wrong logins, cancelling an
// answer half-way, and TLS.
// Usage: node --test tedious_test.js   with QUARLIX_SERVER and QUARLIX_EXEC set.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { Connection, Request, TYPES } = require('tedious');
const { EXEC, DIRECTORY, USER, BINARY_TYPES, scratchFolder, certificate, startServer: startWith } = require('./test_server');

const PASSWORD = 'n0de-Pass';
const SEARCH = `EXEC quarlix '${DIRECTORY}', '(sAMAccountName=j*)', 'sAMAccountName,mail,objectGUID,cn'`;

const folder = scratchFolder('tedious');

// quarlix-exec's answer, cells as a client sees them: text, Buffers, null.
function expected(line, codepage, directory) {
  // Exit status 1 is the procedure's failure: its message is the answer then.
  const mount = directory ? ['--directory', directory] : [];
  const out = spawnSync(EXEC, ['--format', 'json', '--codepage', String(codepage), ...mount, '-Q', Buffer.from(line, 'utf8')])
    .stdout.toString('utf8');
  const answer = JSON.parse(out);
  for (const row of answer.rows || []) {
    row.forEach((cell, i) => {
      if (cell !== null && BINARY_TYPES.includes(answer.columns[i].type)) row[i] = Buffer.from(cell.slice(2), 'hex');
    });
  }
  return answer;
}

const startServer = (extra = [], codepage = 1252) =>
  startWith(folder, PASSWORD, ['--codepage', String(codepage), ...extra]);

function connect(server, options = {}) {
  const connection = new Connection({
    server: '127.0.0.1',
    authentication: { type: 'default', options: { userName: options.user || USER, password: options.password || PASSWORD } },
    options: { port: server.port, encrypt: !!options.encrypt, trustServerCertificate: true, rowCollectionOnRequestCompletion: false,
      connectTimeout: 15000, requestTimeout: 30000 },
  });
  return new Promise((resolve, reject) => {
    connection.on('connect', (err) => (err ? reject(err) : resolve(connection)));
    connection.connect();
  });
}

// Runs a request; resolves with columns, rows, the row count, the return
// status, the messages and the error.
function run(connection, make) {
  return new Promise((resolve) => {
    const answer = { columns: [], rows: [], messages: [] };
    const request = make((err, rowCount) => {
      answer.error = err;
      answer.rowCount = rowCount;
      resolve(answer);
    });
    request.on('columnMetadata', (columns) => { answer.columns = columns.map((c) => c.colName); });
    request.on('row', (columns) => { answer.rows.push(columns.map((c) => c.value)); });
    // tedious hands the RETURNSTATUS over with the DONEPROC that follows it.
    request.on('doneProc', (rowCount, more, returnStatus) => { answer.returnStatus = returnStatus; });
    (make.call || ((r) => connection.execSqlBatch(r)))(request);
  });
}

// A request of `text` with varchar parameters of these names and values.
function varchars(text, names, values) {
  return (done) => {
    const request = new Request(text, done);
    names.forEach((name, i) => request.addParameter(name, TYPES.VarChar, values[i]));
    return request;
  };
}

function batch(connection, sql) {
  const make = (done) => new Request(sql, done);
  make.call = (r) => connection.execSqlBatch(r);
  return run(connection, make);
}

test('batches, sp_executesql and RPC give quarlix-exec\'s answers', async () => {
  for (const codepage of [1252, 65001]) {
    const server = await startServer([], codepage);
    const connection = await connect(server);
    try {
      const want = expected(SEARCH, 65001);  // clients decode either code page to the same text
      const got = await batch(connection, SEARCH);
      assert.ifError(got.error);
      assert.deepStrictEqual(got.columns, want.columns.map((c) => c.name));
      assert.deepStrictEqual(got.rows, want.rows);
      assert.strictEqual(got.rowCount, want.count);
      assert.strictEqual(got.returnStatus, 0);
      assert.ok(got.rows.some((r) => r[3] === 'Jürgen Müller'));

      // sp_executesql, the way parameterised queries travel.
      const values = [DIRECTORY, '(sAMAccountName=j*)', 'sAMAccountName,mail,objectGUID,cn'];
      const make = varchars('EXEC quarlix @adspath = @path, @filter = @f, @field_names = @names', ['path', 'f', 'names'], values);
      make.call = (r) => connection.execSql(r);
      const parameterised = await run(connection, make);
      assert.ifError(parameterised.error);
      assert.deepStrictEqual(parameterised.rows, want.rows);

      // An RPC by name with named varchar parameters.
      const rpc = varchars('master.dbo.quarlix', ['adspath', 'filter', 'field_names'], values);
      rpc.call = (r) => connection.callProcedure(r);
      const called = await run(connection, rpc);
      assert.ifError(called.error);
      assert.deepStrictEqual(called.rows, want.rows);
      assert.strictEqual(called.returnStatus, 0);
      assert.strictEqual(called.rowCount, want.count);
    } finally {
      connection.close();
      assert.strictEqual(await server.stop(), 0);
    }
  }
});

test('the procedure\'s errors, with its return status', async () => {
  const server = await startServer();
  const connection = await connect(server);
  try {
    const want = expected('EXEC quarlix', 1252).error;
    const got = await batch(connection, 'EXEC quarlix');
    assert.ok(got.error);
    assert.strictEqual(got.error.number, 20001);
    assert.strictEqual(got.error.class, 16);
    assert.strictEqual(got.error.state, want.state);
    assert.strictEqual(got.error.procName, 'quarlix');
    assert.strictEqual(got.error.lineNumber, 0);
    assert.strictEqual(got.error.message, want.text);
    assert.strictEqual(got.returnStatus, 1);

    // nvarchar the code page holds reaches the procedure as varchar; any
    // other stays nvarchar, and the procedure's own type check answers.
    const rpc = (adspath) => {
      const make = (done) => {
        const r = new Request('quarlix', done);
        r.addParameter('adspath', TYPES.NVarChar, adspath);
        r.addParameter('filter', TYPES.NVarChar, '(sAMAccountName=j*)');
        r.addParameter('field_names', TYPES.NVarChar, 'sAMAccountName,mail,objectGUID,cn');
        return r;
      };
      make.call = (r) => connection.callProcedure(r);
      return make;
    };
    const plain = await run(connection, rpc(DIRECTORY));
    assert.ifError(plain.error);
    assert.deepStrictEqual(plain.rows, expected(SEARCH, 1252).rows);
    const unicode = await run(connection, rpc(DIRECTORY + '\u03a9'));
    assert.strictEqual(unicode.error.message, 'Wrong parameter @adspath. Parameter data type is wrong.');

    const other = await batch(connection, 'SELECT name FROM sys.objects');
    assert.strictEqual(other.error.class, 16);
    // And the connection still answers.
    const after = await batch(connection, SEARCH);
    assert.ifError(after.error);
    assert.strictEqual(after.rows.length, expected(SEARCH, 1252).count);
  } finally {
    connection.close();
    await server.stop();
  }
});

test('a wrong password is refused with 18456', async () => {
  const server = await startServer();
  try {
    await assert.rejects(connect(server, { password: 'nope' }), (err) => {
      assert.match(err.message, /Login failed for user 'alice'\./);
      return true;
    });
  } finally {
    await server.stop();
  }
});

test('cancelling an answer half-way leaves the connection usable', async () => {
  const server = await startServer();
  const connection = await connect(server);
  try {
    const all = `EXEC quarlix '${DIRECTORY}', '(objectClass=*)', '*'`;
    const total = expected(all, 65001).count;
    const got = await new Promise((resolve) => {
      let rows = 0;
      const request = new Request(all, (err) => resolve({ err, rows }));
      request.on('row', () => { rows += 1; if (rows === 1) connection.cancel(); });
      connection.execSqlBatch(request);
    });
    assert.ok(got.err, 'the request reports its cancellation');
    assert.strictEqual(got.err.code, 'ECANCEL');
    assert.ok(got.rows < total, `${got.rows} of ${total} rows arrived`);
    const after = await batch(connection, SEARCH);
    assert.ifError(after.error);
    assert.strictEqual(after.rows.length, expected(SEARCH, 1252).count);
  } finally {
    connection.close();
    await server.stop();
  }
});

test('values wider than 8000 bytes arrive whole as text and image', async () => {
  // One entry with a text of 10 006 characters and a binary value of 9 000 bytes.
  const ldif = path.join(folder, 'wide.ldif');
  const text = 'Lang: ' + 'äöü-'.repeat(2500);
  const photo = Buffer.from(Array.from({ length: 9000 }, (_, i) => (i * 7) & 0xFF));
  fs.writeFileSync(ldif, 'dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n' +
    'dn: uid=wide,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: wide\ncn: Wide\nsn: Wide\n' +
    `description:: ${Buffer.from(text).toString('base64')}\njpegPhoto:: ${photo.toString('base64')}\n\n`);
  const line = "EXEC quarlix 'LDAP://dc=example,dc=com', '(uid=wide)', 'uid,description,jpegPhoto'";
  for (const codepage of [1252, 65001]) {
    const server = await startServer(['--directory', ldif], codepage);
    const connection = await connect(server);
    try {
      const got = await batch(connection, line);
      assert.ifError(got.error);
      assert.deepStrictEqual(got.rows, expected(line, 65001, ldif).rows);
      assert.strictEqual(got.rows[0][1], text);
      assert.ok(photo.equals(got.rows[0][2]));
    } finally {
      connection.close();
      await server.stop();
    }
  }
});

test('TLS: the server requires it and tedious speaks it', async () => {
  const { cert, key } = certificate(folder);
  const server = await startServer(['--tls-cert', cert, '--tls-key', key]);
  const connection = await connect(server, { encrypt: true });
  try {
    const got = await batch(connection, SEARCH);
    assert.ifError(got.error);
    assert.deepStrictEqual(got.rows, expected(SEARCH, 65001).rows);
    assert.match(server.stderr(), /\(TLS\)/);
  } finally {
    connection.close();
    await server.stop();
  }
});

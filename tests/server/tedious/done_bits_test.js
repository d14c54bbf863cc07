// The DONE, DONEINPROC and DONEPROC tokens of every kind of statement, alone
// and mixed, in batches and in RPCs, as tedious's token parser reads them:
// every one but the answer's last has "more", the last has none (a DONE for
// a batch, a DONEPROC for an RPC), DONEINPROC always has "more", and the
// error bit marks what failed.
// Usage: node --test done_bits_test.js   with QUARLIX_SERVER and QUARLIX_EXEC set.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { Connection, Request, TYPES } = require('tedious');
const { DIRECTORY, USER, scratchFolder, startServer } = require('./test_server');

const PASSWORD = 'd0ne-Bits';
const CALL = `EXEC quarlix '${DIRECTORY}', '(sAMAccountName=j*)', 'sAMAccountName,cn'`;
const VALUES = [DIRECTORY, '(sAMAccountName=j*)', 'sAMAccountName,cn'];

function connect(port) {
  const connection = new Connection({
    server: '127.0.0.1',
    authentication: { type: 'default', options: { userName: USER, password: PASSWORD } },
    options: { port, encrypt: false, connectTimeout: 15000, requestTimeout: 30000 },
  });
  return new Promise((resolve, reject) => {
    connection.on('connect', (err) => (err ? reject(err) : resolve(connection)));
    connection.connect();
  });
}

// The DONE-family tokens of one request, as [name, more, error] in order.
function dones(connection, send) {
  const seen = [];
  connection.debug.token = (token) => {
    if (token.name.startsWith('DONE')) seen.push([token.name, token.more, token.sqlError]);
  };
  return new Promise((resolve) => send((err) => resolve({ seen, err })));
}

const batch = (sql) => (connection, done) => connection.execSqlBatch(new Request(sql, done));
const executeSql = (sql) => (connection, done) => {
  const request = new Request(sql, done);
  VALUES.forEach((v, i) => request.addParameter(`p${i + 1}`, TYPES.NVarChar, v));
  connection.execSql(request);
};
const procedure = (name, values) => (connection, done) => {
  const request = new Request(name, done);
  values.forEach((v, i) => request.addParameter(['adspath', 'filter', 'field_names'][i], TYPES.VarChar, v));
  connection.callProcedure(request);
};

const DONE = (error = false) => ['DONE', true, error];
const LAST = (error = false) => ['DONE', false, error];
const INPROC = (error = false) => ['DONEINPROC', true, error];
const PROC = (error = false) => ['DONEPROC', true, error];
const PROC_LAST = (error = false) => ['DONEPROC', false, error];

// Each statement kind alone, then mixed; the expected tokens follow the
// protocol's shape of each: a SELECT's DONE, a procedure's result set's
// DONEINPROC and its DONEPROC, an error's DONE with the error bit.
const CASES = [
  ['SELECT', batch('SELECT 1'), [LAST()]],
  ['SET (no DONE of its own)', batch('SET NOCOUNT OFF'), [LAST()]],
  ['USE master', batch('USE master'), [LAST()]],
  ['BEGIN TRAN and COMMIT', batch('BEGIN TRAN COMMIT'), [LAST()]],
  ['IF that runs nothing', batch('IF @@TRANCOUNT > 0 COMMIT'), [LAST()]],
  ['EXEC of the procedure', batch(CALL), [INPROC(), PROC(), LAST()]],
  ['EXEC the procedure refuses', batch('EXEC quarlix'), [INPROC(true), PROC(true), LAST()]],
  ['EXEC of another procedure', batch('EXEC sp_who'), [LAST(true)]],
  ['USE of another database', batch('USE tempdb'), [LAST(true)]],
  ['COMMIT without a transaction', batch('COMMIT'), [LAST(true)]],
  ['SELECT FROM', batch('SELECT name FROM sys.objects'), [LAST(true)]],
  ['a batch that cannot be read', batch('SELECT 1 +'), [LAST(true)]],
  ['SELECT, EXEC, SELECT', batch(`SELECT 1; ${CALL}; SELECT @@ROWCOUNT`), [DONE(), INPROC(), PROC(), LAST()]],
  ['two EXECs', batch(`${CALL} ${CALL}`), [INPROC(), PROC(), INPROC(), PROC(), LAST()]],
  ['an error between', batch(`SELECT 1 USE tempdb SELECT 2`), [DONE(), DONE(true), LAST()]],
  ['SELECT FROM ends the batch', batch('SELECT 1 SELECT a FROM t SELECT 2'), [DONE(), LAST(true)]],
  ['a transaction around a SELECT', batch('BEGIN TRAN SELECT @@TRANCOUNT COMMIT'), [DONE(), LAST()]],
  ['RPC of the procedure', procedure('quarlix', VALUES), [INPROC(), PROC_LAST()]],
  ['RPC the procedure refuses', procedure('quarlix', []), [INPROC(true), PROC_LAST(true)]],
  ['RPC of another procedure', procedure('sp_who', []), [LAST(true)]],
  ['sp_executesql of an EXEC', executeSql('EXEC quarlix @p1, @p2, @p3'), [INPROC(), PROC_LAST()]],
  ['sp_executesql of SELECT, EXEC, SELECT', executeSql('SELECT 1; EXEC quarlix @p1, @p2, @p3; SELECT @@ROWCOUNT'),
    [INPROC(), INPROC(), INPROC(), PROC_LAST()]],
  ['sp_executesql with an error between', executeSql('SELECT 1 USE tempdb SELECT 2'),
    [INPROC(), INPROC(true), INPROC(), PROC_LAST(true)]],
  ['sp_executesql that cannot be read', executeSql('SELECT 1 +'), [PROC_LAST(true)]],
];

test('every statement kind alone and mixed, in batches and RPCs', async () => {
  const server = await startServer(scratchFolder('done-bits'), PASSWORD, ['--codepage', '1252']);
  const connection = await connect(server.port);
  try {
    for (const [what, send, expected] of CASES) {
      const { seen } = await dones(connection, (done) => send(connection, done));
      assert.deepStrictEqual(seen, expected, what);
    }
    // Prepared statements: sp_prepare answers its handle; sp_execute runs it.
    let completed = () => {};
    const request = new Request('EXEC quarlix @a, @b, @c', (err) => completed(err));
    ['a', 'b', 'c'].forEach((name) => request.addParameter(name, TYPES.NVarChar));
    const prepared = await dones(connection, (done) => {
      request.once('prepared', () => done());
      connection.prepare(request);
    });
    assert.deepStrictEqual(prepared.seen, [PROC_LAST()], 'sp_prepare');
    const executed = await dones(connection, (done) => {
      completed = done;
      connection.execute(request, { a: VALUES[0], b: VALUES[1], c: VALUES[2] });
    });
    assert.deepStrictEqual(executed.seen, [INPROC(), PROC_LAST()], 'sp_execute');
  } finally {
    connection.close();
    assert.strictEqual(await server.stop(), 0);
  }
});

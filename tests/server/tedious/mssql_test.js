// Node's mssql (the usual way to use tedious; pinned in package-lock.json)
// against quarlix-server in its default settings: query, execute, batch,
// query with parameters (sp_executesql), PreparedStatement (sp_prepare,
// sp_execute, sp_unprepare), Transaction (transaction-manager requests), and
// the pool, which checks each new connection with SELECT 1 through
// sp_executesql and keeps it when the answer comes. Without and with TLS.
// Usage: node --test mssql_test.js   with QUARLIX_SERVER and QUARLIX_EXEC set.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const sql = require('mssql');
const { EXEC, DIRECTORY, USER, BINARY_TYPES, scratchFolder, certificate, startServer: startWith } = require('./test_server');

const PASSWORD = 'mssql-Pass';
const CELLS = { adspath: DIRECTORY, filter: '(sAMAccountName=j*)', field_names: 'sAMAccountName,mail,objectGUID,cn' };
const ROADS = [
  { adspath: DIRECTORY, filter: '(objectClass=user)', field_names: 'sAMAccountName,mail,objectGUID,displayName' },
  { adspath: 'LDAP://CN=Jürgen Müller,OU=Engineering,OU=Staff,DC=corp,DC=example,DC=com' },
  { adspath: 'LDAP://CN=Domain Admins,CN=Users,DC=corp,DC=example,DC=com', scope: 'GET_GROUP_MEMBERS' },
  { adspath: DIRECTORY, filter: '', field_names: 'name', scope: 'GET_CHILD_OBJECTS' },
  CELLS,
];

const folder = scratchFolder('mssql');

function execLine(road) {
  const values = Object.entries(road).map(([name, value]) => `@${name} = '${value}'`).join(', ');
  return 'EXEC quarlix ' + values;
}

// A cell of quarlix-exec's JSON (bytes that are not UTF-8 as \u00XX) as the
// code page 1252 text a client decodes.
function codePageText(json) {
  const bytes = [];
  for (const ch of json) {
    const cp = ch.codePointAt(0);
    if (cp < 0x100) bytes.push(cp);
    else bytes.push(...Buffer.from(ch, 'utf8'));
  }
  return String.fromCodePoint(...bytes.map((b) => (b >= 0x80 && b < 0xA0 ? CP1252_HIGH.codePointAt(b - 0x80) : b)));
}
// 0x80..0x9F of code page 1252 (the five bytes it leaves undefined stand for themselves).
const CP1252_HIGH = '\u20ac\u0081\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030\u0160\u2039\u0152\u008d\u017d\u008f' +
  '\u0090\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161\u203a\u0153\u009d\u017e\u0178';

// quarlix-exec's answer as mssql gives it from a server of code page 1252:
// rows as objects, Buffers for binary.
function expected(road) {
  // The batch's bytes in 1252 (the roads hold only Latin-1); Node passes
  // arguments as UTF-8, so a shell reads them from a file.
  const file = path.join(folder, `line-${Math.random()}`);
  fs.writeFileSync(file, Buffer.from(execLine(road), 'latin1'));
  const out = spawnSync('/bin/sh', ['-c', 'exec "$0" --format json --codepage 1252 -Q "$(cat "$1")"', EXEC, file]);
  const answer = JSON.parse(out.stdout.toString('utf8'));
  const rows = (answer.rows || []).map((row) => Object.fromEntries(row.map((cell, i) => {
    const column = answer.columns[i];
    if (cell === null) return [column.name, null];
    const binary = BINARY_TYPES.includes(column.type);
    return [column.name, binary ? Buffer.from(cell.slice(2), 'hex') : codePageText(cell)];
  })));
  return { rows, answer };
}

const startServer = (extra = []) => startWith(folder, PASSWORD, extra);

async function pool(server, encrypt) {
  const p = new sql.ConnectionPool({ server: '127.0.0.1', port: server.port, user: USER, password: PASSWORD, database: 'master',
    options: { encrypt, trustServerCertificate: true }, pool: { max: 4, min: 0 }, connectionTimeout: 30000, requestTimeout: 30000 });
  await p.connect();
  return p;
}

function withInputs(request, road) {
  for (const [name, value] of Object.entries(road)) request.input(name, value);
  return request;
}

for (const encrypt of [false, true]) {
  test(`every road by query, execute, batch, parameters and prepared statements (TLS ${encrypt ? 'on' : 'off'})`, async () => {
    const server = await startServer(encrypt ? ['--tls-cert', certificate(folder).cert, '--tls-key', certificate(folder).key] : []);
    const p = await pool(server, encrypt);
    try {
      for (const road of ROADS) {
        const want = expected(road).rows;
        const query = await p.request().query(execLine(road));
        assert.deepStrictEqual(query.recordset, want);
        assert.deepStrictEqual(query.rowsAffected, expected(road).answer.count === undefined ? [] : [expected(road).answer.count],
          execLine(road));
        const execute = await withInputs(p.request(), road).execute('quarlix');
        assert.deepStrictEqual(execute.recordset, want);
        assert.strictEqual(execute.returnValue, 0);
        const names = Object.keys(road).map((name) => `@${name} = @${name}`).join(', ');
        const params = await withInputs(p.request(), road).query(`EXEC quarlix ${names}`);
        assert.deepStrictEqual(params.recordset, want);
        // NOCOUNT holds for the session: the batch sets it back for the next request.
        const batch = await p.request().batch(`SET NOCOUNT ON;\n-- the call\nEXEC dbo.quarlix ${execLine(road).slice(13)}\n` +
          'SET NOCOUNT OFF');
        assert.deepStrictEqual(batch.recordset, want);
        assert.deepStrictEqual(batch.rowsAffected, []);
        const ps = new sql.PreparedStatement(p);
        for (const name of Object.keys(road)) ps.input(name, sql.NVarChar);
        await ps.prepare(`EXEC quarlix ${names}`);
        try {
          assert.deepStrictEqual((await ps.execute(road)).recordset, want);
          assert.deepStrictEqual((await ps.execute(road)).recordset, want);
        } finally {
          await ps.unprepare();
        }
      }
      const cells = (await p.request().query(execLine(CELLS))).recordset;
      const king = cells.find((r) => r.sAMAccountName === 'jking');
      assert.strictEqual(king.mail, null);
      assert.strictEqual(king.objectGUID.length, 16);
      assert.strictEqual(cells.find((r) => r.sAMAccountName === 'jmueller').cn, 'Jürgen Müller');
    } finally {
      await p.close();
      assert.strictEqual(await server.stop(), 0);
    }
  });
}

test('errors, probes, transactions, and the pool keeps its connections', async () => {
  const server = await startServer();
  const p = await pool(server, false);
  try {
    const failing = expected({}).answer.error;
    await assert.rejects(p.request().execute('quarlix'), (e) => e.number === 20001 && e.message === failing.text);
    await assert.rejects(withInputs(p.request(), { adspath: DIRECTORY + '\u03a9' }).execute('quarlix'),
      (e) => e.message === 'Wrong parameter @adspath. Parameter data type is wrong.');
    await assert.rejects(p.request().query('EXEC sp_server_info'), (e) => e.number === 2812);
    await assert.rejects(p.request().query('SELECT name FROM sys.objects'),
      (e) => e.number === 208 && e.message === "Invalid object name 'sys.objects'.");
    const probes = await p.request().query("SELECT SERVERPROPERTY('ProductVersion') AS v, SERVERPROPERTY('EngineEdition') AS e, " +
      "SERVERPROPERTY('Collation') AS c, @@VERSION AS version, DB_NAME() AS db, @@SPID AS spid, 1 AS one");
    const row = probes.recordset[0];
    assert.ok(row.version.startsWith('Microsoft ') && row.version.includes(` - ${row.v} `), row.version);
    assert.strictEqual(typeof row.e, 'number');
    assert.strictEqual(row.c, 'SQL_Latin1_General_CP1_CI_AS');
    assert.strictEqual(row.db, 'master');
    assert.strictEqual(row.one, 1);

    const tx = new sql.Transaction(p);
    await tx.begin();
    assert.deepStrictEqual((await new sql.Request(tx).query('SELECT @@TRANCOUNT AS n')).recordset, [{ n: 1 }]);
    assert.deepStrictEqual((await new sql.Request(tx).query(execLine(CELLS))).recordset, expected(CELLS).rows);
    await tx.rollback();
    const tx2 = new sql.Transaction(p);
    await tx2.begin();
    await tx2.commit();

    // A pool that validates its connections: many requests, a handful of logins.
    await Promise.all(Array.from({ length: 40 }, () => p.request().query('SELECT 1 AS one')));
    // (Its four connections, and a few more if it replaces one: not a login per request.)
    assert.ok(server.logins() <= 8, `${server.logins()} logins`);
  } finally {
    await p.close();
    assert.strictEqual(await server.stop(), 0);
  }
});

// What the Node client tests share: a quarlix-server started on a loopback
// port of its own with one login, a self-signed certificate for TLS, and
// the column types whose cells quarlix-exec's JSON writes as hex.
'use strict';
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const SERVER = process.env.QUARLIX_SERVER;
const EXEC = process.env.QUARLIX_EXEC;
const DIRECTORY = 'LDAP://DC=corp,DC=example,DC=com';
const USER = 'alice';
// varbinary, binary and image.
const BINARY_TYPES = [0x25, 0xA5, 0x22];

function scratchFolder(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `quarlix-${name}-`));
}

function certificate(folder) {
  const cert = path.join(folder, 'cert.pem');
  const key = path.join(folder, 'key.pem');
  if (!fs.existsSync(cert)) {
    execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert, '-days', '2',
      '-subj', '/CN=localhost'], { stdio: 'ignore' });
  }
  return { cert, key };
}

// Resolves once the server says which port it took; rejects if it exits first.
async function startServer(folder, password, extra = []) {
  const logins = path.join(folder, `logins-${process.pid}-${Math.random()}`);
  const line = execFileSync(SERVER, ['--print-login', USER], { input: password + '\n' }).toString().trim();
  fs.writeFileSync(logins, line + '\n');
  const child = spawn(SERVER, ['--listen', '127.0.0.1:0', '--logins', logins, ...extra], { stdio: ['ignore', 'pipe', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  const port = await new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = /listening on .*:(\d+)/.exec(out);
      if (m) resolve(Number(m[1]));
    });
    child.on('exit', () => reject(new Error('server exited: ' + stderr)));
  });
  return {
    port,
    stderr: () => stderr,
    logins: () => (stderr.match(/: login /g) || []).length,
    stop: () => new Promise((resolve) => { child.on('exit', (code) => resolve(code)); child.kill('SIGTERM'); }),
  };
}

module.exports = { SERVER, EXEC, DIRECTORY, USER, BINARY_TYPES, scratchFolder, certificate, startServer };

// A Node client built on vscode-jsonrpc (the protocol layer of VS Code's language client)
// against quillmap -lsp on the fixture workspace: progress, call hierarchy, symbols, references,
// an unsaved edit, an unknown method, and shutdown and exit.
'use strict';
const assert = require('assert');
const cp = require('child_process');
const path = require('path');
const rpc = require('vscode-jsonrpc/node');

const [binary, root] = process.argv.slice(2);
const uriOf = (file) => 'file://' + path.join(root, file);
const mainUri = uriOf('app/main.c');
const libUri = uriOf('lib/lib.c');
const at = (uri, line, character) => ({ textDocument: { uri }, position: { line, character } });
const starts = (ranges) => ranges.map((r) => `${r.start.line}:${r.start.character}`).join(' ');

async function main() {
  const server = cp.spawn(binary, ['--lsp'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const exited = new Promise((resolve) => server.on('exit', (code) => resolve(code)));
  const connection = rpc.createMessageConnection(
    new rpc.StreamMessageReader(server.stdout), new rpc.StreamMessageWriter(server.stdin));
  const progress = [];
  connection.onRequest('window/workDoneProgress/create', () => null);
  connection.onNotification('$/progress', (p) => progress.push(p.value.kind));
  connection.onNotification('window/logMessage', () => {});
  connection.listen();

  const init = await connection.sendRequest('initialize', {
    processId: process.pid,
    rootUri: null,
    workspaceFolders: [{ uri: 'file://' + root, name: 'fixture' }],
    capabilities: { window: { workDoneProgress: true } },
  });
  assert.strictEqual(init.capabilities.callHierarchyProvider, true);
  connection.sendNotification('initialized', {});

  const items = await connection.sendRequest('textDocument/prepareCallHierarchy', at(libUri, 4, 7));
  assert.deepStrictEqual(items.map((i) => i.name), ['log_value']);
  const incoming = await connection.sendRequest('callHierarchy/incomingCalls', { item: items[0] });
  assert.deepStrictEqual(incoming.map((c) => `${c.from.name} ${starts(c.fromRanges)}`),
                         ['main 10:2']);
  assert.match(incoming[0].from.detail, /direct/);
  const outgoing = await connection.sendRequest('callHierarchy/outgoingCalls', { item: items[0] });
  assert.deepStrictEqual(outgoing.map((c) => `${c.to.name}@${path.basename(c.to.uri)}`),
                         ['printf@lib.c', 'helper@lib.c']);
  assert.deepStrictEqual(progress.slice(0, 1).concat(progress.slice(-1)), ['begin', 'end']);

  const symbols = await connection.sendRequest('workspace/symbol', { query: 'hel' });
  assert.deepStrictEqual(symbols.map((s) => s.name), ['helper', 'helper']);
  const references = await connection.sendRequest('textDocument/references',
    { ...at(mainUri, 2, 12), context: { includeDeclaration: false } });
  assert.deepStrictEqual(references.map((r) => `${path.basename(r.uri)} ${starts([r.range])}`),
                         ['main.c 9:2', 'main.c 10:12', 'lib.c 6:17']);
  const outline = await connection.sendRequest('textDocument/documentSymbol',
                                                { textDocument: { uri: mainUri } });
  assert.deepStrictEqual(outline.map((s) => s.name), ['helper', 'main']);

  // An unsaved edit adds a caller of log_value.
  const text = require('fs').readFileSync(path.join(root, 'app/main.c'), 'utf8')
    .replace('  helper(1);', '  log_value(1);');
  connection.sendNotification('textDocument/didOpen',
    { textDocument: { uri: mainUri, languageId: 'c', version: 1, text } });
  const after = await connection.sendRequest('callHierarchy/incomingCalls', { item: items[0] });
  assert.deepStrictEqual(after.map((c) => `${c.from.name} ${starts(c.fromRanges)}`),
                         ['main 9:2 10:2']);

  // A 10 MB message: an editor's file with a long comment.
  const bigUri = uriOf('app/big.c');
  connection.sendNotification('textDocument/didOpen', { textDocument: {
    uri: bigUri, languageId: 'c', version: 1,
    text: '/*' + 'x'.repeat(10 * 1000 * 1000) + '*/\nint big(void)\n{\n  helper(1);\n}\n' } });
  const bigOutline = await connection.sendRequest('textDocument/documentSymbol',
                                                   { textDocument: { uri: bigUri } });
  assert.deepStrictEqual(bigOutline.map((s) => `${s.name} ${s.range.start.line}`), ['big 1']);

  await assert.rejects(connection.sendRequest('quillmap/unknown', {}),
                       (e) => e.code === rpc.ErrorCodes.MethodNotFound);

  await connection.sendRequest('shutdown');
  connection.sendNotification('exit');
  assert.strictEqual(await exited, 0);
  connection.dispose();
  console.log('node_e2e: passed');
}

main().catch((error) => {
  console.error('node_e2e: FAIL:', error);
  process.exit(1);
});

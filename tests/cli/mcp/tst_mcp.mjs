// `linkherd mcp` driven by the official MCP client, as an assistant's host drives it.
// Usage: node tst_mcp.mjs LINKHERD_EXECUTABLE
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { McpError } from '@modelcontextprotocol/sdk/types.js';
import { AjvJsonSchemaValidator } from '@modelcontextprotocol/sdk/validation/ajv';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

const linkherd = process.argv[2];
const home = fs.mkdtempSync(path.join(os.tmpdir(), 'linkherd-mcp-'));
const rulesPath = path.join(home, 'rules.json');
// A desktop of its own: one browser without profiles, one Chromium-family browser with two.
const environment = {
    ...process.env,
    HOME: home,
    XDG_CONFIG_HOME: path.join(home, 'config'),
    XDG_DATA_HOME: path.join(home, 'data'),
    XDG_DATA_DIRS: path.join(home, 'system'),
};

function write(file, text) {
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, text);
}

// As an editor saves: a new file renamed over the old one.
function saveRules(document) {
    write(rulesPath + '.editing', JSON.stringify(document));
    fs.renameSync(rulesPath + '.editing', rulesPath);
}

const readRules = () => JSON.parse(fs.readFileSync(rulesPath, 'utf8'));

let client;

before(async () => {
    for (const [id, name] of [['fakefox', 'Fakefox'], ['google-chrome', 'Google Chrome']]) {
        write(path.join(home, 'data/applications', id + '.desktop'),
            `[Desktop Entry]\nType=Application\nName=${name}\nExec=/bin/true %u\n` +
            'MimeType=x-scheme-handler/http;x-scheme-handler/https;\n');
    }
    // What update-desktop-database would write: GIO lists handlers of a scheme from it.
    const handlers = 'fakefox.desktop;google-chrome.desktop;';
    write(path.join(home, 'data/applications/mimeinfo.cache'),
        `[MIME Cache]\nx-scheme-handler/http=${handlers}\nx-scheme-handler/https=${handlers}\n`);
    write(path.join(home, 'config/google-chrome/Local State'), JSON.stringify(
        { profile: { info_cache: { 'Default': { name: 'Home' }, 'Profile 1': { name: 'Work' } } } }));
    saveRules({
        version: 1, fallback: { browser: { bundleID: 'fakefox' } }, rules: [],
        rewriter: { stripsTrackingParameters: true, upgradesToHTTPS: true, parameters: ['utm_*'] },
    });
    client = new Client({ name: 'linkherd-test', version: '1.0.0' });
    await client.connect(new StdioClientTransport({
        command: linkherd, args: ['--rules', rulesPath, 'mcp'], env: environment, stderr: 'inherit',
    }));
});

after(async () => {
    await client?.close();
    fs.rmSync(home, { recursive: true, force: true });
});

// The structured answer of a call that must succeed; its text is the same answer as JSON.
async function call(name, args = {}) {
    const result = await client.callTool({ name, arguments: args });
    assert.notEqual(result.isError, true, result.content?.[0]?.text);
    assert.deepEqual(JSON.parse(result.content[0].text), result.structuredContent);
    return result.structuredContent;
}

test('initialize and tools/list', async () => {
    const version = execFileSync(linkherd, ['--version'], { encoding: 'utf8' }).trim().split(' ')[1];
    assert.deepEqual(client.getServerVersion(), { name: 'linkherd', title: 'Linkherd', version });
    assert.ok(client.getServerCapabilities().tools);

    const { tools } = await client.listTools();
    assert.deepEqual(tools.map((tool) => tool.name).sort(), ['add_rule', 'clean_link', 'delete_rule',
        'list_browsers', 'list_rules', 'move_rule', 'resolve_link', 'set_fallback', 'update_rule']);
    const schemas = Object.fromEntries(tools.map((tool) => [tool.name, tool.inputSchema]));
    assert.deepEqual(schemas.add_rule.required, ['match', 'pattern', 'destination']);
    assert.deepEqual(schemas.move_rule.required, ['id', 'position']);
    // Every schema compiles, and says of a few arguments what the server says of them.
    const validator = new AjvJsonSchemaValidator();
    const valid = (tool, args) => validator.getValidator(schemas[tool])(args).valid;
    for (const tool of tools) {
        assert.ok(tool.description.length > 40, tool.name);
        assert.equal(valid(tool.name, { unknownArgument: 1 }), false, tool.name);
    }
    assert.ok(valid('add_rule', { match: 'host', pattern: 'a.example', destination: 'ask', position: 0 }));
    assert.ok(valid('add_rule', { match: 'regex', pattern: 'x', destination: { browser: 'b', profile: 'P' } }));
    assert.ok(valid('add_rule', { match: 'host', pattern: 'a', destination: { browser: 'b', window: 'private' } }));
    assert.equal(valid('add_rule', { match: 'host', pattern: 'a', destination: { browser: 'b', window: 'tab' } }),
        false);
    assert.equal(valid('add_rule', { match: 'host', pattern: 'a', destination: 'firefox' }), false);
    assert.equal(valid('update_rule', { id: 'ABCD', destination: { profile: 'P' } }), false);
    assert.equal(valid('move_rule', { id: 'ABCD', position: -1 }), false);
});

test('add, list, update, move and delete reach the file', async () => {
    const { rule: first } = await call('add_rule', { match: 'host', pattern: 'example.com',
        destination: { browser: 'google-chrome', profile: 'Profile 1', window: 'private' },
        sourceApps: ['org.gnome.Evolution'] });
    assert.match(first.id, /^[0-9A-F]{8}-[0-9A-F]{4}-/);
    assert.deepEqual({ ...first, id: undefined }, { id: undefined, position: 0, enabled: true, match: 'host',
        pattern: 'example.com', destination: { browser: 'google-chrome', profile: 'Profile 1', window: 'private' },
        sourceApps: ['org.gnome.Evolution'] });
    const { rule: second } = await call('add_rule', { match: 'regex', pattern: '^https://docs\\.', destination: 'ask',
        enabled: false, position: 0 });
    assert.equal(second.position, 0);
    let stored = readRules().rules;
    assert.deepEqual(stored.map((rule) => [rule.id, rule.pattern, rule.isEnabled]),
        [[second.id, '^https://docs\\.', false], [first.id, 'example.com', true]]);
    assert.deepEqual(stored[1].destination,
        { browser: { bundleID: 'google-chrome', profile: 'Profile 1', window: 'private' } });
    assert.deepEqual(stored[1].sourceBundleIDs, ['org.gnome.Evolution']);

    // A shortened id; a new browser without a profile or window drops the old ones.
    const { rule: updated } = await call('update_rule', { id: first.id.slice(0, 6), pattern: 'example.org',
        destination: { browser: 'fakefox' }, sourceApps: [] });
    assert.deepEqual([updated.pattern, updated.destination, updated.sourceApps, updated.position],
        ['example.org', { browser: 'fakefox' }, [], 1]);
    assert.deepEqual(readRules().rules[1].destination, { browser: { bundleID: 'fakefox' } });

    const moved = await call('move_rule', { id: first.id, position: 99 });
    assert.deepEqual(moved.rules.map((rule) => rule.id), [second.id, first.id]);
    await call('move_rule', { id: first.id, position: 0 });
    assert.deepEqual(readRules().rules.map((rule) => rule.id), [first.id, second.id]);

    const { deleted } = await call('delete_rule', { id: second.id });
    assert.equal(deleted.pattern, '^https://docs\\.');
    assert.deepEqual(readRules().rules.map((rule) => rule.id), [first.id]);

    assert.deepEqual(await call('set_fallback', { destination: 'ask' }), { fallback: 'ask' });
    assert.deepEqual(readRules().fallback, { ask: {} });
    await call('set_fallback', { destination: { browser: 'fakefox' } });
    const listed = await call('list_rules');
    assert.deepEqual([listed.rules.map((rule) => rule.id), listed.fallback], [[first.id], { browser: 'fakefox' }]);
});

test('resolve_link tells the rule or the fallback, and the cleaned link; outside edits are seen', async () => {
    const document = readRules();
    const id = '6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F';
    document.rules[0].sourceBundleIDs = ['org.gnome.Evolution'];
    document.rules = [{ id, isEnabled: true, match: 'urlContains', pattern: 'tracker', sourceBundleIDs: [],
        destination: { browser: { bundleID: 'google-chrome' } } }, ...document.rules];
    saveRules(document);

    const byRule = await call('resolve_link', { url: 'http://shop.example.com/tracker?utm_source=mail&item=3' });
    assert.deepEqual(byRule, { cleaned: 'https://shop.example.com/tracker?item=3', decidedBy: 'rule',
        destination: { browser: 'google-chrome' }, rule: { id, position: 0, enabled: true, match: 'urlContains',
            pattern: 'tracker', destination: { browser: 'google-chrome' }, sourceApps: [] } });
    // The second rule now takes only links from Evolution.
    const fromMail = await call('resolve_link', { url: 'https://www.example.org/', from: 'org.gnome.Evolution' });
    assert.deepEqual([fromMail.decidedBy, fromMail.rule.position], ['rule', 1]);
    assert.deepEqual(await call('resolve_link', { url: 'https://www.example.org/' }),
        { cleaned: 'https://www.example.org/', decidedBy: 'fallback', destination: { browser: 'fakefox' } });
    assert.deepEqual(await call('clean_link', { url: 'http://a.example.com/?utm_medium=x' }),
        { cleaned: 'https://a.example.com/' });

    const { browsers } = await call('list_browsers');
    assert.deepEqual(browsers, [{ id: 'fakefox', name: 'Fakefox' }, { id: 'google-chrome', name: 'Google Chrome',
        profiles: [{ directory: 'Default', name: 'Home' }, { directory: 'Profile 1', name: 'Work' }] }]);
});

test('a refused call is a tool error and changes nothing', async () => {
    const before = fs.readFileSync(rulesPath, 'utf8');
    const cases = [
        ['add_rule', { match: 'regex', pattern: '(', destination: 'ask' }, /regular expression/],
        ['add_rule', { match: 'host', pattern: '  ', destination: 'ask' }, /empty/],
        ['update_rule', { id: 'FFFFFFFF', enabled: false }, /No rule/],
        ['delete_rule', { id: 'ABC' }, /at least 4/],
        ['resolve_link', { url: 'not a link' }, /^Give resolve_link a URL/],
    ];
    for (const [name, args, reason] of cases) {
        const result = await client.callTool({ name, arguments: args });
        assert.equal(result.isError, true, name);
        assert.match(result.content[0].text, reason, name);
    }
    assert.equal(fs.readFileSync(rulesPath, 'utf8'), before);
});

test('arguments that do not fit, or an unknown tool, are JSON-RPC errors', async () => {
    const cases = [
        ['add_rule', { match: 'glob', pattern: 'a', destination: 'ask' }, /match/],
        ['add_rule', { match: 'host', destination: 'ask' }, /pattern/],
        ['add_rule', { match: 'host', pattern: 'a', destination: { browser: '' } }, /destination/],
        ['move_rule', { id: 'ABCD', position: 1.5 }, /position/],
        ['update_rule', { id: 'ABCD', colour: 'red' }, /colour/],
        ['list_rules', { verbose: true }, /verbose/],
        ['rename_rule', {}, /rename_rule/],
    ];
    for (const [name, args, message] of cases) {
        await assert.rejects(client.callTool({ name, arguments: args }), (error) => {
            assert.ok(error instanceof McpError, String(error));
            assert.equal(error.code, -32602, name);
            assert.match(error.message, message);
            return true;
        });
    }
    // Still serving.
    assert.ok(Array.isArray((await call('list_rules')).rules));
});

test('wrong lines are answered and the server goes on until its input ends', async () => {
    const before = fs.readFileSync(rulesPath, 'utf8');
    const server = spawn(linkherd, ['--rules', rulesPath, 'mcp'], { env: environment, stdio: ['pipe', 'pipe', 'inherit'] });
    let output = '';
    server.stdout.on('data', (data) => { output += data; });
    const exited = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal })));
    const request = (id, method, params) => JSON.stringify({ jsonrpc: '2.0', id, method, params }) + '\n';
    server.stdin.write('{"jsonrpc": "2.0", "id": 1, "method": \n');
    server.stdin.write('[' + request(2, 'ping').trim() + ']\n');
    server.stdin.write('\n{"jsonrpc": "2.0", "method": "notifications/initialized"}\n');
    // Before initialize, only a ping is answered.
    server.stdin.write(request(3, 'tools/call', { name: 'add_rule',
        arguments: { match: 'host', pattern: 'early.example', destination: 'ask' } }));
    server.stdin.write(request(4, 'ping'));
    // Several times the limit, in one write: read past, not kept.
    server.stdin.write('{"jsonrpc": "2.0", "id": 5, "method": "ping", "params": {"x": "' + 'x'.repeat(8 << 20) + '"}}\n');
    server.stdin.write(request(6, 'initialize', { protocolVersion: '2024-11-05', capabilities: {},
        clientInfo: { name: 'old', version: '0' } }));
    server.stdin.write(request(7, 'initialize', { protocolVersion: '2099-01-01', capabilities: {},
        clientInfo: { name: 'new', version: '0' } }));
    server.stdin.write('{"jsonrpc": "2.0", "id": 8, "method": "tools/list", "params": []}\n');
    server.stdin.write(request(9, 'resources/list'));
    // 2^70, which a double would round.
    server.stdin.write('{"jsonrpc": "2.0", "id": 1180591620717411303424, "method": "ping"}\n');
    server.stdin.end(request('last', 'ping'));
    assert.deepEqual(await exited, { code: 0, signal: null });

    const lines = output.trimEnd().split('\n');
    const answers = lines.map((line) => JSON.parse(line));
    assert.deepEqual(answers.map((answer) => [answer.id, answer.error?.code ?? answer.result?.protocolVersion ?? 'ok']), [
        [null, -32700], [null, -32600], [3, -32600], [4, 'ok'], [null, -32700],
        [6, '2024-11-05'], [7, '2025-06-18'], [8, -32602], [9, -32601], [2 ** 70, 'ok'], ['last', 'ok'],
    ]);
    assert.match(answers[2].error.message, /initialize/);
    assert.match(lines[9], /"id":1180591620717411303424,/);
    assert.equal(fs.readFileSync(rulesPath, 'utf8'), before);
});

-- Neovim's own LSP client against quillmap -lsp: call hierarchy, definitions and an unsaved
-- edit, on the fixture workspace. Written for Neovim 0.7 (Debian 12): vim.lsp.start_client.
local bin = os.getenv('QUILLMAP_BINARY')
local root = os.getenv('LSP_FIXTURE')
local failures = 0

local function check(ok, what, got)
  if not ok then
    failures = failures + 1
    io.stderr:write('FAIL: ' .. what .. ': ' .. vim.inspect(got) .. '\n')
  end
end

local function finish()
  if failures > 0 then vim.cmd('cquit 1') end
  vim.cmd('qall!')
end

vim.cmd('edit ' .. root .. '/app/main.c')
local buf = vim.api.nvim_get_current_buf()
local ready = false
local client_id = vim.lsp.start_client({
  name = 'quillmap',
  cmd = { bin, '-lsp' },
  root_dir = root,
  flags = { debounce_text_changes = 0 },
  on_init = function() ready = true end,
})
vim.lsp.buf_attach_client(buf, client_id)
check(vim.wait(10000, function() return ready end, 10), 'initialized', ready)

local function ask(method, params)
  local answers, err = vim.lsp.buf_request_sync(buf, method, params, 10000)
  if not answers or not answers[client_id] then
    check(false, method .. ' answered', err)
    return nil
  end
  check(answers[client_id].error == nil, method .. ' without error', answers[client_id].error)
  return answers[client_id].result
end

local uri = vim.uri_from_bufnr(buf)
local function at(line, character)
  return { textDocument = { uri = uri }, position = { line = line, character = character } }
end
local function starts(ranges)
  local out = {}
  for _, r in ipairs(ranges) do table.insert(out, r.start.line .. ':' .. r.start.character) end
  return table.concat(out, ' ')
end

-- The first request waits for the scan.
local items = ask('textDocument/prepareCallHierarchy', at(9, 3)) or {}
check(#items == 2 and items[1].name == 'helper' and items[1].uri == uri, 'prepare helper', items)

local incoming = ask('callHierarchy/incomingCalls', { item = items[1] }) or {}
check(#incoming == 1 and incoming[1].from.name == 'main', 'callers of helper', incoming)
check(incoming[1] and starts(incoming[1].fromRanges) == '9:2 10:12', 'call sites of helper',
  incoming[1])

local main = ask('textDocument/prepareCallHierarchy', at(7, 5)) or {}
local outgoing = ask('callHierarchy/outgoingCalls', { item = main[1] }) or {}
local callees = {}
for _, call in ipairs(outgoing) do table.insert(callees, call.to.name .. '@' .. starts(call.fromRanges)) end
check(table.concat(callees, ' ') == 'helper@9:2 10:12 log_value@10:2', 'callees of main', callees)

local definitions = ask('textDocument/definition', at(10, 4)) or {}
check(#definitions == 1 and definitions[1].uri:match('lib/lib%.c$') and
  definitions[1].range.start.line == 4, 'definition of log_value', definitions)

-- An unsaved edit: line 10 calls log_value instead of helper.
vim.api.nvim_buf_set_lines(buf, 9, 10, false, { '  log_value(1);' })
local logValue = ask('textDocument/prepareCallHierarchy', at(10, 4)) or {}
local callers = ask('callHierarchy/incomingCalls', { item = logValue[1] }) or {}
check(#callers == 1 and starts(callers[1].fromRanges) == '9:2 10:2', 'callers after the edit', callers)

vim.lsp.stop_client(client_id)
vim.wait(5000, function() return vim.lsp.get_client_by_id(client_id) == nil end, 10)
finish()

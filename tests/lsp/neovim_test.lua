-- Driven by neovim_test.sh: Neovim, headless, starts brindle-check --lsp on
-- the story in the current folder, waits for its diagnostics, goes to a
-- label's definition from a jump_out, renames that label, and asks for the
-- story's map and its play. Writes what it saw to result.txt, one fact a
-- line, and quits.
local check = os.getenv('BRINDLE_CHECK')
local out = {}
local function say(text) table.insert(out, text) end
local function finish()
  local file = io.open('result.txt', 'w')
  file:write(table.concat(out, '\n') .. '\n')
  file:close()
  vim.cmd('qa!')
end

vim.cmd('edit test.py')
local buffer = vim.api.nvim_get_current_buf()
-- The server as the configuration shipped for Neovim starts it, with the
-- program under test in place of the one on PATH.
local config = dofile(os.getenv('BRINDLE_NVIM_CONFIG'))
assert(config.cmd[1] == 'brindle-check' and vim.tbl_contains(config.filetypes, 'brindle'))
local cmd = vim.deepcopy(config.cmd)
cmd[1] = check
local client = vim.lsp.start_client({ name = 'brindle', cmd = cmd, root_dir = vim.fn.getcwd() })
vim.lsp.buf_attach_client(buffer, client)

-- The diagnostics, published once the story is checked.
local found = vim.wait(20000, function() return #vim.diagnostic.get(buffer) > 0 end, 50)
say('diagnostics ' .. tostring(found))
for _, d in ipairs(vim.diagnostic.get(buffer)) do
  say(string.format('diagnostic %d:%d %s', d.lnum + 1, d.col, d.message))
end

-- Go to the definition of the label the jump_out on line 3 names (the
-- cursor on its target).
vim.api.nvim_win_set_cursor(0, { 3, 18 })
local answers = vim.lsp.buf_request_sync(buffer, 'textDocument/definition', vim.lsp.util.make_position_params(), 10000)
for _, answer in pairs(answers or {}) do
  local location = answer.result and (answer.result[1] or answer.result)
  if location then vim.lsp.util.jump_to_location(location, 'utf-16') end
end
local cursor = vim.api.nvim_win_get_cursor(0)
say(string.format('definition %d:%d', cursor[1], cursor[2]))

-- Rename that label, and apply what the server says to change.
local params = vim.lsp.util.make_position_params()
params.newName = 'harbour'
answers = vim.lsp.buf_request_sync(buffer, 'textDocument/rename', params, 10000)
for _, answer in pairs(answers or {}) do
  if answer.result then vim.lsp.util.apply_workspace_edit(answer.result, 'utf-16') end
  if answer.err then say('rename refused ' .. answer.err.message) end
end
for number, line in ipairs(vim.api.nvim_buf_get_lines(buffer, 0, -1, false)) do
  say(string.format('line %d %s', number, line))
end

-- The story's map and its play, as the server's commands give them to any
-- client, on the text as renamed.
local function command(name, arguments)
  local answers = vim.lsp.buf_request_sync(buffer, 'workspace/executeCommand',
    { command = name, arguments = arguments }, 10000)
  for _, answer in pairs(answers or {}) do
    if answer.result then return answer.result end
    if answer.err then say(name .. ' refused ' .. answer.err.message) end
  end
end
local uri = vim.uri_from_bufnr(buffer)
local map = command('brindle.map', { uri })
for _, node in ipairs(map and map.nodes or {}) do
  say(string.format('node %s %d %d', node.name, node.line, node.entries))
end
for _, edge in ipairs(map and map.edges or {}) do
  say(string.format('edge %s %s %d', edge.from, edge.to, edge.line))
end
local play = command('brindle.play', { uri, { from = 'harbour' } })
if play then say(string.format('play %s %d', play['end'].kind, play['end'].line)) end
finish()

-- brindle-check as Neovim's language server for Brindle stories, in the form
-- Neovim 0.11's vim.lsp.config and nvim-lspconfig read: put this file in
-- the lsp/ folder of your config (~/.config/nvim/lsp/brindle.lua), give
-- stories their filetype and enable it, in init.lua:
--
--   vim.filetype.add({ filename = { ["test.py"] = "brindle" } })
--   vim.lsp.enable("brindle")
--
-- brindle-check must be on PATH, or `cmd` names it with its full path.
return {
  cmd = { "brindle-check", "--lsp" },
  filetypes = { "brindle" },
  -- A story's folder is where its test.py is.
  root_markers = { "test.py", ".git" },
}

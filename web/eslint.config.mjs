// `make lint` over the page's TypeScript and the engine's typed API:
// ESLint's and typescript-eslint's recommended rules, with the type-aware
// ones that catch what tsc lets through (a promise nobody awaits or catches,
// an async function handed to an event that drops its promise).
import { fileURLToPath } from 'node:url';
import js from '@eslint/js';
import tseslint from 'typescript-eslint';

export default tseslint.config(
  // The scripts are checked by the tests that run them.
  { ignores: ['**/*.js', '**/*.mjs', 'node_modules/**', 'audit/**'] },
  js.configs.recommended,
  ...tseslint.configs.recommendedTypeChecked,
  {
    languageOptions: {
      parserOptions: { project: './page/tsconfig.json', tsconfigRootDir: fileURLToPath(new URL('.', import.meta.url)) },
    },
  },
);

# Differential corpus: each query runs against the text driver and against SQLite over the
# same tables, emp (id, name, dept, salary, hired, manager, level) and dept (code, title,
# budget, floor); see differential.py. "ours ;; sqlite" gives two spellings of one query;
# "[header.h] query" is a query that needs a piece of the library that comes with the header.
# Queries with ORDER BY list their rows in an order the keys fix completely.

# Projections and expressions
SELECT * FROM emp
SELECT * FROM dept
SELECT id, name FROM emp
SELECT name, id, name FROM emp
SELECT id AS number, name AS who FROM emp
SELECT e.id, e.name FROM emp e
SELECT e.id, e.name FROM emp AS e WHERE e.level = 3
SELECT id + 1, id - 1, id * 2, -id FROM emp
SELECT id * 2 + level, (id + level) * 2, id + level * 2 FROM emp
SELECT salary * 2, salary / 4, salary - 100.5 FROM emp
SELECT level / 2, level * 1.0 / 2 FROM emp
SELECT id, salary + id FROM emp WHERE salary IS NULL
SELECT name || '-' || dept FROM emp
SELECT 1 + 2, 7 - 10, 3 * 4
SELECT 'a' || 'b', 'it''s'
SELECT 2.5 * 4, 1.5 + 1
SELECT NULL, 1 + NULL
SELECT id, level * level - id FROM emp WHERE id <= 10
SELECT budget / 1000, floor * 10 FROM dept
SELECT code, budget + floor FROM dept

# Comparisons
SELECT id FROM emp WHERE id = 7
SELECT id FROM emp WHERE id <> 7
SELECT id FROM emp WHERE id != 7
SELECT id FROM emp WHERE id < 10
SELECT id FROM emp WHERE id <= 10
SELECT id FROM emp WHERE id > 50
SELECT id FROM emp WHERE id >= 50
SELECT id FROM emp WHERE 10 > id
SELECT id FROM emp WHERE salary > 80000
SELECT id FROM emp WHERE salary <= 45000.5
SELECT id FROM emp WHERE salary = salary
SELECT id FROM emp WHERE name = 'Bob'
SELECT id FROM emp WHERE name = 'bob'
SELECT id FROM emp WHERE name > 'M'
SELECT id FROM emp WHERE name < 'a'
SELECT id FROM emp WHERE name >= 'alice' AND name < 'b'
SELECT id FROM emp WHERE dept = 'eng'
SELECT id FROM emp WHERE dept = 'Eng'
SELECT id FROM emp WHERE name = 'O''Neil'
SELECT id FROM emp WHERE manager = level
SELECT id FROM emp WHERE manager = NULL
SELECT id FROM emp WHERE manager <> 3
SELECT id FROM emp WHERE hired >= {d '2020-01-01'} ;; SELECT id FROM emp WHERE hired >= '2020-01-01'
SELECT id FROM emp WHERE hired < {d '2016-06-30'} ;; SELECT id FROM emp WHERE hired < '2016-06-30'
SELECT id, hired FROM emp WHERE hired = {d '2015-01-01'} ;; SELECT id, hired FROM emp WHERE hired = '2015-01-01'
SELECT id FROM emp WHERE id * 2 = level + 10
SELECT code FROM dept WHERE budget > 100000

# Boolean conditions
SELECT id FROM emp WHERE level = 1 AND dept = 'eng'
SELECT id FROM emp WHERE level = 1 OR dept = 'eng'
SELECT id FROM emp WHERE NOT level = 1
SELECT id FROM emp WHERE NOT (salary > 50000)
SELECT id FROM emp WHERE NOT (salary > 50000 OR dept = 'ops')
SELECT id FROM emp WHERE (level = 1 OR level = 2) AND salary > 60000
SELECT id FROM emp WHERE level = 1 OR level = 2 AND salary > 60000
SELECT id FROM emp WHERE dept = 'eng' AND NOT manager = 2
SELECT id FROM emp WHERE salary > 50000 AND salary < 70000 OR id < 3
SELECT id FROM emp WHERE NOT (id > 5 AND id < 55)
SELECT id FROM emp WHERE (dept = 'hr' OR dept = 'ops') AND (level > 2 OR manager IS NULL)
SELECT id FROM emp WHERE NOT (NOT level = 4)
SELECT id FROM emp WHERE level = 1 AND (manager = 1 OR manager = 2 OR manager = 3)
SELECT id FROM emp WHERE id > 30 AND id < 40 AND level <> 3
SELECT id FROM emp WHERE NOT (dept = 'eng')

# LIKE
SELECT id FROM emp WHERE name LIKE 'a%'
SELECT id FROM emp WHERE name LIKE 'A%'
SELECT id FROM emp WHERE name LIKE '%e'
SELECT id FROM emp WHERE name LIKE '%an%'
SELECT id FROM emp WHERE name LIKE '_o%'
SELECT id FROM emp WHERE name LIKE '___'
SELECT id FROM emp WHERE name NOT LIKE '%a%'
SELECT id FROM emp WHERE dept LIKE 'e%'
SELECT id FROM emp WHERE name LIKE 'a\_b%' ESCAPE '\'
SELECT id FROM emp WHERE name LIKE 'x\%%' ESCAPE '\'
SELECT id FROM emp WHERE name LIKE 'a!_b%' {escape '!'} ;; SELECT id FROM emp WHERE name LIKE 'a!_b%' ESCAPE '!'
SELECT id FROM emp WHERE name LIKE '%''%'
SELECT id FROM emp WHERE name LIKE dept || '%'

# IN, BETWEEN, IS NULL
SELECT id FROM emp WHERE id IN (1, 5, 9, 100)
SELECT id FROM emp WHERE dept IN ('eng', 'hr')
SELECT id FROM emp WHERE dept NOT IN ('eng', 'hr')
SELECT id FROM emp WHERE dept IN ('eng', NULL)
SELECT id FROM emp WHERE dept NOT IN ('eng', NULL)
SELECT id FROM emp WHERE level IN (level, 99)
SELECT id FROM emp WHERE id BETWEEN 10 AND 20
SELECT id FROM emp WHERE id NOT BETWEEN 10 AND 50
SELECT id FROM emp WHERE salary BETWEEN 40000 AND 60000
SELECT id FROM emp WHERE name BETWEEN 'B' AND 'O'
SELECT id FROM emp WHERE hired BETWEEN {d '2018-01-01'} AND {d '2019-12-31'} ;; SELECT id FROM emp WHERE hired BETWEEN '2018-01-01' AND '2019-12-31'
SELECT id FROM emp WHERE salary IS NULL
SELECT id FROM emp WHERE salary IS NOT NULL AND dept IS NULL
SELECT id FROM emp WHERE manager IS NULL OR hired IS NULL
SELECT id FROM emp WHERE NOT (dept IS NULL)
SELECT code FROM dept WHERE budget IS NULL

# Scalar functions
SELECT {fn UCASE(name)}, {fn LCASE(name)} FROM emp ;; SELECT upper(name), lower(name) FROM emp
SELECT UPPER(name), LOWER(dept) FROM emp
SELECT name, LENGTH(name) FROM emp
SELECT {fn LENGTH(dept)} FROM emp ;; SELECT length(dept) FROM emp
SELECT SUBSTR(name, 2, 3) FROM emp
SELECT {fn SUBSTRING(name, 1, 2)} FROM emp ;; SELECT substr(name, 1, 2) FROM emp
SELECT {fn CONCAT(name, dept)} FROM emp ;; SELECT name || dept FROM emp
SELECT {fn LOCATE('a', name)} FROM emp ;; SELECT instr(name, 'a') FROM emp
SELECT {fn LTRIM('  x  ')}, {fn RTRIM('  x  ')} ;; SELECT ltrim('  x  '), rtrim('  x  ')
SELECT ABS(salary - 75000) FROM emp
SELECT {fn ABS(id - 30)} FROM emp ;; SELECT abs(id - 30) FROM emp
SELECT ROUND(salary / 1000, 1) FROM emp
SELECT ROUND(salary) FROM emp
SELECT {fn MOD(id, 7)} FROM emp ;; SELECT id % 7 FROM emp
SELECT IFNULL(dept, 'none') FROM emp
SELECT {fn IFNULL(salary, 0)} FROM emp ;; SELECT ifnull(salary, 0) FROM emp
SELECT id FROM emp WHERE LENGTH(name) = 4
SELECT id FROM emp WHERE UPPER(dept) = 'ENG'

# Aggregates
SELECT COUNT(*) FROM emp
SELECT COUNT(salary), COUNT(dept), COUNT(manager) FROM emp
SELECT SUM(level), MIN(level), MAX(level) FROM emp
SELECT SUM(salary), AVG(salary), MIN(salary), MAX(salary) FROM emp
SELECT AVG(level) FROM emp
SELECT MIN(name), MAX(name) FROM emp
SELECT MIN(hired), MAX(hired) FROM emp
SELECT COUNT(*), SUM(salary), MAX(name) FROM emp WHERE id < 0
SELECT COUNT(DISTINCT dept) FROM emp
SELECT COUNT(*) FROM emp WHERE dept = 'eng' AND salary > 50000
SELECT SUM(salary * level) FROM emp
SELECT MAX(salary) - MIN(salary) FROM emp
SELECT COUNT(*) FROM dept

# GROUP BY and HAVING
SELECT dept, COUNT(*) FROM emp GROUP BY dept
SELECT dept, COUNT(*), SUM(salary) FROM emp GROUP BY dept
SELECT level, MIN(salary), MAX(salary) FROM emp GROUP BY level
SELECT dept, level, COUNT(*) FROM emp GROUP BY dept, level
SELECT dept, AVG(salary) FROM emp GROUP BY dept
SELECT manager, COUNT(*) FROM emp GROUP BY manager
SELECT dept, COUNT(*) FROM emp GROUP BY dept HAVING COUNT(*) > 10
SELECT dept, SUM(salary) FROM emp GROUP BY dept HAVING SUM(salary) > 500000
SELECT level, COUNT(*) FROM emp WHERE salary > 50000 GROUP BY level
SELECT level, COUNT(*) FROM emp WHERE salary > 50000 GROUP BY level HAVING COUNT(*) >= 5
SELECT dept, MAX(name) FROM emp GROUP BY dept
SELECT dept, COUNT(salary), COUNT(*) FROM emp GROUP BY dept
SELECT level * 10, COUNT(*) FROM emp GROUP BY level * 10
SELECT dept, MIN(hired) FROM emp GROUP BY dept
SELECT dept, COUNT(*) FROM emp GROUP BY dept ORDER BY dept
SELECT dept, COUNT(*) AS n FROM emp GROUP BY dept ORDER BY n DESC, dept
SELECT level, SUM(salary) FROM emp GROUP BY level ORDER BY level DESC
SELECT dept, level, MAX(salary) FROM emp GROUP BY dept, level ORDER BY dept, level
SELECT manager, AVG(level) FROM emp WHERE manager IS NOT NULL GROUP BY manager ORDER BY manager

# ORDER BY
SELECT id, name FROM emp ORDER BY name
SELECT id, name FROM emp ORDER BY name DESC
SELECT id, salary FROM emp ORDER BY salary, id
SELECT id, salary FROM emp ORDER BY salary DESC, id
SELECT id, dept FROM emp ORDER BY dept, id
SELECT id, dept FROM emp ORDER BY dept DESC, id DESC
SELECT id, level, salary FROM emp ORDER BY level, salary DESC, id
SELECT id, hired FROM emp ORDER BY hired, id
SELECT id, hired FROM emp ORDER BY hired DESC, id
SELECT id FROM emp ORDER BY level * -1, id
SELECT id, name FROM emp ORDER BY LENGTH(name), name
SELECT id, salary AS pay FROM emp ORDER BY pay, id
SELECT id, name AS who FROM emp ORDER BY who
SELECT id AS k FROM emp ORDER BY k DESC
SELECT id, salary AS s FROM emp WHERE salary > 50000 ORDER BY s DESC
SELECT level AS id, id AS level FROM emp ORDER BY id, level
SELECT id, name FROM emp ORDER BY 2
SELECT id, manager FROM emp ORDER BY manager, id
SELECT id, name FROM emp WHERE level = 2 ORDER BY id DESC
SELECT code, budget FROM dept ORDER BY budget
SELECT code FROM dept ORDER BY floor, code
SELECT id, name FROM emp WHERE dept = 'eng' ORDER BY salary DESC, id
SELECT name FROM emp ORDER BY name ASC
SELECT id, dept, level FROM emp ORDER BY dept ASC, level DESC, id ASC

# DISTINCT
SELECT DISTINCT dept FROM emp
SELECT DISTINCT level FROM emp ORDER BY level
SELECT DISTINCT dept, level FROM emp
SELECT DISTINCT manager FROM emp ORDER BY manager
SELECT DISTINCT level * 2 FROM emp
SELECT COUNT(*) FROM emp WHERE dept IN ('ops', 'sales')

# Joins
SELECT emp.id, dept.title FROM emp JOIN dept ON emp.dept = dept.code
SELECT e.id, d.title FROM emp e INNER JOIN dept d ON e.dept = d.code
SELECT e.id, d.title FROM emp e LEFT JOIN dept d ON e.dept = d.code
SELECT e.id, d.title FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.code
SELECT e.id, d.title FROM {oj emp e LEFT OUTER JOIN dept d ON e.dept = d.code} ;; SELECT e.id, d.title FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.code
SELECT d.code, e.id FROM dept d LEFT JOIN emp e ON e.dept = d.code
SELECT e.id, d.budget FROM emp e JOIN dept d ON e.dept = d.code WHERE d.budget > 300000
SELECT d.title, COUNT(*) FROM emp e JOIN dept d ON e.dept = d.code GROUP BY d.title
SELECT d.title, SUM(e.salary) FROM emp e JOIN dept d ON e.dept = d.code GROUP BY d.title ORDER BY d.title
SELECT e.name, d.title FROM emp e JOIN dept d ON e.dept = d.code ORDER BY e.name, d.title
SELECT e.id, m.name FROM emp e JOIN emp m ON e.manager = m.id
SELECT e.id, m.name FROM emp e LEFT JOIN emp m ON e.manager = m.id ORDER BY e.id
SELECT e.id FROM emp e JOIN dept d ON e.dept = d.code AND e.level = d.floor
SELECT d.code, COUNT(e.id) FROM dept d LEFT JOIN emp e ON e.dept = d.code GROUP BY d.code
SELECT e.id, d.title FROM emp e LEFT JOIN dept d ON e.dept = d.code WHERE d.title IS NULL

# CASE and CAST
SELECT id, CASE WHEN salary > 80000 THEN 'high' WHEN salary > 50000 THEN 'mid' ELSE 'low' END FROM emp
SELECT id, CASE level WHEN 1 THEN 'one' WHEN 2 THEN 'two' END FROM emp
SELECT CAST(salary AS INTEGER) FROM emp
SELECT CAST(id AS VARCHAR(10)) || 'x' FROM emp
SELECT SUM(CASE WHEN dept = 'eng' THEN 1 ELSE 0 END) FROM emp

# Mixed: operators, functions, NULLs, groups and joins together
SELECT dept, COUNT(DISTINCT level) FROM emp GROUP BY dept ORDER BY dept
SELECT id, 7 / 2, 7 % 3, -7 / 2 FROM emp WHERE id = 1
SELECT id, level / 2 FROM emp ORDER BY id
SELECT AVG(level), SUM(level), MIN(name), MAX(name) FROM emp
SELECT id FROM emp WHERE manager IN (1, NULL) ORDER BY id
SELECT id FROM emp WHERE manager NOT IN (1, 2) ORDER BY id
SELECT id FROM emp WHERE name BETWEEN 'a' AND 'f' ORDER BY id
SELECT id FROM emp WHERE name LIKE 'A%' ORDER BY id
SELECT id FROM emp WHERE name LIKE '%\_%' ESCAPE '\' ORDER BY id
SELECT name || '-' || dept FROM emp ORDER BY id
SELECT id, CASE WHEN level > 3 THEN 'high' WHEN level > 1 THEN 'mid' ELSE 'low' END FROM emp ORDER BY id
SELECT dept, COUNT(*) AS n FROM emp GROUP BY dept HAVING COUNT(*) > 5 ORDER BY n, dept
SELECT level * 10 AS l, COUNT(*) FROM emp GROUP BY level * 10 ORDER BY l
SELECT e.id, d.title FROM emp e LEFT JOIN dept d ON e.dept = d.code ORDER BY e.id
SELECT d.code, COUNT(e.id) FROM dept d LEFT JOIN emp e ON e.dept = d.code GROUP BY d.code ORDER BY d.code
SELECT DISTINCT dept FROM emp ORDER BY dept DESC
SELECT id, salary FROM emp WHERE salary IS NULL ORDER BY id
SELECT COUNT(salary), COUNT(*) FROM emp
SELECT id FROM emp WHERE NOT (level = 1 OR level = 2) ORDER BY id
SELECT id, LENGTH(name), UPPER(name), LOWER(name) FROM emp ORDER BY id
SELECT id, SUBSTR(name, 2, 3) FROM emp ORDER BY id
SELECT id, ABS(level - 3), ROUND(salary / 7, 2) FROM emp ORDER BY id
SELECT id, COALESCE(dept, 'none') FROM emp ORDER BY id
SELECT dept, MAX(salary) - MIN(salary) FROM emp GROUP BY dept ORDER BY dept
SELECT id FROM emp WHERE hired > '2020-01-01' ORDER BY id
SELECT SUM(salary) / COUNT(salary) FROM emp
SELECT id FROM emp WHERE dept = 'eng' AND level BETWEEN 2 AND 4 OR dept IS NULL ORDER BY id
